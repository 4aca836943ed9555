// The contents-table row of a message against the message PC: built from what WriteMessage returns, it must
// agree with the PC as stored, through a real table context and for a newer Outlook's extra columns.
#include "pst/messaging/message/contents_row.h"

#include <gtest/gtest.h>

#include "pst/messaging/message/message_test_support.h"

namespace velmora::pst::testing {
namespace {

using namespace msgtags;

constexpr Nid kMsgNid = MakeNid(kNidTypeNormalMessage, 0x400);

MessageContent RichMail() {
  MessageContent m = Mail("Quarterly figures");
  m.props[Id(kImportance)] = PropValue::Int32(2);
  m.props[Id(kSensitivity)] = PropValue::Int32(0);
  m.props[Id(kClientSubmitTime)] = PropValue::Time(0x01D7833584000000ULL);
  m.props[Id(kMessageDeliveryTime)] = PropValue::Time(0x01D7833585000000ULL);
  m.props[Id(kSentRepresentingName)] = PropValue::String("Ann Example");
  m.props[Id(kMessageToMe)] = PropValue::Bool(true);
  m.props[Id(kMessageCcMe)] = PropValue::Bool(false);
  m.props[Id(kConversationTopic)] = PropValue::String("Quarterly figures");
  m.props[Id(kConversationIndex)] = PropValue::Binary(PatternBytes(22, 5));
  m.props[0x0E1D] = PropValue::String("Quarterly figures");  // PidTagNormalizedSubject, a newer column
  m.recipients.push_back(Recipient("Bob", "bob@example.com", kRecipientTo));
  m.recipients.push_back(Recipient("Cy", "cy@example.com", kRecipientCc));
  m.attachments.push_back(FileAttachment("a.pdf", PropValue::Binary(PatternBytes(100, 1))));
  return m;
}

class ContentsRow : public ::testing::Test {
 protected:
  void SetUp() override {
    auto w = Store(store_, RichMail(), kMsgNid, names_);
    ASSERT_TRUE(w.ok()) << w.status().ToString();
    written_ = std::move(w).value();
    auto e = store_.FindNode(kMsgNid);
    std::vector<SubnodeEntry> subs;
    if ((*e)->sub) subs = *store_.ReadSubnodes((*e)->sub);
    auto pc = ReadPropertyContext(store_, (*e)->data, subs);
    ASSERT_TRUE(pc.ok());
    stored_pc_ = std::move(pc).value();
  }
  MemoryNodeStore store_;
  FakeNameMap names_;
  WrittenMessage written_;
  PropertyMap stored_pc_;
};

TEST_F(ContentsRow, TemplateRowFromTheWriterAgreesWithTheStoredPc) {
  auto row = MakeContentsRow(kMsgNid, written_.row_props, kContentsTemplateColumns);
  ASSERT_TRUE(row.ok());
  EXPECT_EQ(row->row_id, kMsgNid);
  EXPECT_TRUE(RowAgreesWithProps(*row, stored_pc_, kContentsTemplateColumns));
  // The computed columns are there with the values the PC got.
  EXPECT_EQ(row->cells.at(kMessageFlags).AsInt32(), static_cast<int32_t>(written_.flags));
  EXPECT_EQ(row->cells.at(kMessageSize).AsInt32(), written_.size);
  EXPECT_EQ(row->cells.at(kDisplayTo).AsString(), "Bob");
  EXPECT_EQ(row->cells.at(kDisplayCc).AsString(), "Cy");
  EXPECT_EQ(row->cells.at(kMessageStatus).AsInt32(), 0);
  // Columns the message has no value for stay absent.
  EXPECT_FALSE(row->cells.count(kItemTemporaryFlags));
  EXPECT_FALSE(row->cells.count(kSecureSubmitFlags));
}

TEST_F(ContentsRow, RowSurvivesARealTableContextAndStillAgrees) {
  auto row = MakeContentsRow(kMsgNid, written_.row_props, kContentsTemplateColumns);
  ASSERT_TRUE(row.ok());
  Table table;
  table.columns.assign(kContentsTemplateColumns.begin(), kContentsTemplateColumns.end());
  table.rows.push_back(*row);
  auto tc = WriteTableContext(store_, table);
  ASSERT_TRUE(tc.ok()) << tc.status().ToString();
  auto back = ReadTableContext(store_, tc->data, tc->subnodes);
  ASSERT_TRUE(back.ok()) << back.status().ToString();
  ASSERT_EQ(back->rows.size(), 1u);
  TableRow read_row = back->rows[0];
  read_row.cells.erase(kTagLtpRowId);
  read_row.cells.erase(kTagLtpRowVer);
  EXPECT_TRUE(RowAgreesWithProps(read_row, stored_pc_, kContentsTemplateColumns));
}

TEST_F(ContentsRow, ExtraColumnsOfNewerFoldersAreCopiedWhenTheTypeMatches) {
  std::vector<PropTag> columns(kContentsTemplateColumns.begin(), kContentsTemplateColumns.end());
  columns.push_back(0x0E1D001F);  // PidTagNormalizedSubject
  columns.push_back(0x10800003);  // PidTagIconIndex: the message has none
  columns.push_back(0x0037001E);  // a subject column of the 8-bit type does not take the Unicode value
  auto row = MakeContentsRow(kMsgNid, written_.row_props, columns);
  ASSERT_TRUE(row.ok());
  EXPECT_EQ(row->cells.at(0x0E1D001F).AsString(), "Quarterly figures");
  EXPECT_FALSE(row->cells.count(0x10800003));
  EXPECT_FALSE(row->cells.count(0x0037001E));
  EXPECT_TRUE(RowAgreesWithProps(*row, stored_pc_, columns));
}

TEST_F(ContentsRow, DisagreementIsDetected) {
  auto row = MakeContentsRow(kMsgNid, written_.row_props, kContentsTemplateColumns);
  ASSERT_TRUE(row.ok());
  TableRow changed = *row;
  changed.cells[kSubject] = PropValue::String("other");
  EXPECT_FALSE(RowAgreesWithProps(changed, stored_pc_, kContentsTemplateColumns));
  TableRow missing = *row;
  missing.cells.erase(kMessageFlags);
  EXPECT_FALSE(RowAgreesWithProps(missing, stored_pc_, kContentsTemplateColumns));
  TableRow extra = *row;
  extra.cells[kItemTemporaryFlags] = PropValue::Int32(0);
  EXPECT_FALSE(RowAgreesWithProps(extra, stored_pc_, kContentsTemplateColumns));
}

TEST(ContentsRowValues, StreamedColumnValuesAreLoadedIntoTheRow) {
  // A long To line can come back from a PC as a stream (a subnode above the reader's inline limit); the row
  // still gets the bytes.
  PropertyMap props;
  props[Id(kDisplayTo)] = PropValue::Stream(kPtypString, std::make_shared<PatternSource>(4000, 3));
  auto row = MakeContentsRow(0x24, props, kContentsTemplateColumns);
  ASSERT_TRUE(row.ok());
  EXPECT_FALSE(row->cells.at(kDisplayTo).stream);
  EXPECT_EQ(row->cells.at(kDisplayTo).bytes, PatternBytes(4000, 3));
}

TEST(ContentsRowValues, LargeNonTemplateValuesStayOutOfRowProps) {
  MemoryNodeStore store;
  FakeNameMap names;
  MessageContent m = Mail("big body");
  m.props[0x1000] = PropValue::String(std::string(50000, 'z'));
  m.props[0x1035] = PropValue::String("<id@example.com>");  // PidTagInternetMessageId: short, kept
  auto w = WriteMessage(store, m, names.Resolver());
  ASSERT_TRUE(w.ok());
  EXPECT_FALSE(w->row_props.count(0x1000));
  EXPECT_TRUE(w->row_props.count(0x1035));
  // The template columns this message has values for.
  for (PropTag t : {kMessageClass, kSubject, kDisplayTo, kMessageFlags, kMessageSize, kMessageStatus}) {
    EXPECT_TRUE(w->row_props.count(TagId(t))) << std::hex << t;
  }
}

}  // namespace
}  // namespace velmora::pst::testing
