// Attachments and embedded messages over the in-memory node store: none to fifty, the attachment table
// against the attachment PCs, messages nested three deep, and a damaged object value. PidTagAttachSize is
// checked against Outlook's own numbers and on every attachment of a real file (stored_message_test.cpp).
#include <gtest/gtest.h>

#include "pst/content/table_templates.h"
#include "pst/ltp/le_bytes.h"
#include "pst/ltp/table_context.h"
#include "pst/messaging/message/attachment_writer.h"
#include "pst/messaging/message/message_size.h"
#include "pst/messaging/message/message_test_support.h"

namespace velmora::pst::testing {
namespace {

constexpr Nid kMsgNid = MakeNid(kNidTypeNormalMessage, 0x400);

class Attachments : public ::testing::Test {
 protected:
  Result<MessageContent> RoundTrip(const MessageContent& in) {
    PST_ASSIGN_OR_RETURN(written_, WriteMessage(store_, in, names_.Resolver()));
    PST_RETURN_IF_ERROR(store_.PutNode(NodeEntry{kMsgNid, written_.data, written_.sub, 0x8022}));
    return ReadMessage(store_, kMsgNid);
  }
  MemoryNodeStore store_;
  FakeNameMap names_;
  WrittenMessage written_;
};

TEST_F(Attachments, NoneToFiftyRoundTripAndTheTableCopiesEachPc) {
  for (int count : {0, 1, 17, 50}) {
    SCOPED_TRACE(count);
    MessageContent in = Mail("with attachments");
    for (int i = 0; i < count; ++i) {
      // Sizes around the heap limit (3,580) and the block limit (8,176) take every storage path.
      const size_t size = static_cast<size_t>(i) * 613 % 9000;
      in.attachments.push_back(
          FileAttachment("file" + std::to_string(i) + ".bin",
                         PropValue::Binary(PatternBytes(size, static_cast<uint32_t>(i)))));
    }
    if (count > 1) {
      in.attachments[0].props.erase(Id(kAttachFilename));            // an absent value: no cell
      in.attachments[1].props[0x3712] = PropValue::String("img@x");  // PidTagAttachContentId
      in.attachments[1].props[0x3714] = PropValue::Int32(4);         // PidTagAttachFlags: rendered in body
      in.attachments[1].props[0x370E] = PropValue::Binary({1});      // a MIME tag of the wrong type: no cell
    }
    auto out = RoundTrip(in);
    ASSERT_TRUE(out.ok()) << out.status().ToString();
    ASSERT_EQ(out->attachments.size(), static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      EXPECT_TRUE(HoldsAll(out->attachments[i].props, in.attachments[i].props)) << i;
      EXPECT_EQ(IntProp(out->attachments[i].props, kAttachMethod), kAttachByValue);
      EXPECT_EQ(IntProp(out->attachments[i].props, kRenderingPosition), kRenderingPositionNone);
    }
    const auto subs = Subnodes(store_, written_.sub);
    const SubnodeEntry* at = FindSubnode(subs, kNidAttachmentTable);
    ASSERT_EQ(at != nullptr, count > 0) << "an attachment table exactly when there are attachments";
    if (!at) continue;
    auto table = ReadTableContext(store_, at->data, Subnodes(store_, at->sub));
    ASSERT_TRUE(table.ok()) << table.status().ToString();
    ASSERT_EQ(table->columns.size(), templates::AttachmentTableColumns().size());
    ASSERT_EQ(table->rows.size(), static_cast<size_t>(count));
    for (const TableRow& row : table->rows) {
      const SubnodeEntry* pc_entry = FindSubnode(subs, row.row_id);
      ASSERT_NE(pc_entry, nullptr) << "row " << row.row_id << " names no subnode";
      EXPECT_EQ(NidTypeOf(row.row_id), kNidTypeAttachment);
      auto pc = ReadPropertyContext(store_, pc_entry->data, Subnodes(store_, pc_entry->sub));
      ASSERT_TRUE(pc.ok());
      for (PropTag column : table->columns) {
        if (column == kTagLtpRowId || column == kTagLtpRowVer) continue;
        auto cell = row.cells.find(column);
        auto prop = pc->find(TagId(column));
        const bool copies = prop != pc->end() && prop->second.type == TagType(column);
        ASSERT_EQ(cell != row.cells.end(), copies) << std::hex << column;
        if (copies) {
          EXPECT_EQ(cell->second.bytes, prop->second.bytes) << std::hex << column;
        }
      }
    }
  }
}

// Level n has one recipient, one file and (above level 0) one embedded message.
MessageContent Nested(int level) {
  MessageContent m = Mail("level " + std::to_string(level));
  m.recipients.push_back(Recipient("R" + std::to_string(level), "r@example.com", kRecipientTo));
  m.attachments.push_back(
      FileAttachment("f" + std::to_string(level), PropValue::Binary(PatternBytes(5000, 1))));
  if (level > 0) {
    AttachmentContent a;
    a.props[0x3001] = PropValue::String("level " + std::to_string(level - 1));  // PidTagDisplayName
    a.embedded = std::make_unique<MessageContent>(Nested(level - 1));
    m.attachments.push_back(std::move(a));
  }
  return m;
}

TEST_F(Attachments, EmbeddedMessagesThreeDeep) {
  MessageContent in = Nested(3);
  auto out = RoundTrip(in);
  ASSERT_TRUE(out.ok()) << out.status().ToString();
  const MessageContent* have = &*out;
  const MessageContent* want = &in;
  for (int level = 3; level >= 0; --level) {
    SCOPED_TRACE(level);
    EXPECT_EQ(StringProp(have->props, kSubject), "level " + std::to_string(level));
    ASSERT_EQ(have->recipients.size(), 1u);
    EXPECT_TRUE(HoldsAll(have->recipients[0].props, want->recipients[0].props));
    ASSERT_EQ(have->attachments.size(), level > 0 ? 2u : 1u);
    EXPECT_TRUE(HoldsAll(have->attachments[0].props, want->attachments[0].props));
    if (level == 0) break;
    const AttachmentContent& e = have->attachments[1];
    EXPECT_EQ(IntProp(e.props, kAttachMethod), kAttachEmbeddedMessage);
    ASSERT_TRUE(e.embedded);
    // The object counts as the embedded message's size (the reader hands the object over as `embedded`).
    EXPECT_EQ(IntProp(e.props, kAttachSize),
              static_cast<int32_t>(CountedSize(e.props) + *IntProp(e.embedded->props, kMessageSize)));
    have = e.embedded.get();
    want = want->attachments[1].embedded.get();
  }

  // As stored: PtypObject {NID, size} naming a type-4 subnode of the attachment, with its own tables.
  const auto subs = Subnodes(store_, written_.sub);
  auto table = ReadTableContext(store_, FindSubnode(subs, kNidAttachmentTable)->data, {});
  ASSERT_TRUE(table.ok());
  const SubnodeEntry* attach = FindSubnode(subs, table->rows.at(1).row_id);
  ASSERT_NE(attach, nullptr);
  const auto attach_subs = Subnodes(store_, attach->sub);
  auto pc = ReadPropertyContext(store_, attach->data, attach_subs);
  ASSERT_TRUE(pc.ok());
  const PropValue& object = pc->at(Id(kAttachDataObject));
  ASSERT_EQ(object.type, kPtypObject);
  ASSERT_EQ(object.bytes.size(), 8u);
  const SubnodeEntry* inner = FindSubnode(attach_subs, le::Get32(object.bytes, 0));
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(NidTypeOf(inner->nid), kNidTypeNormalMessage);
  EXPECT_EQ(le::Get32(object.bytes, 4),
            static_cast<uint32_t>(*IntProp(out->attachments[1].embedded->props, kMessageSize)));
  const auto inner_subs = Subnodes(store_, inner->sub);
  EXPECT_NE(FindSubnode(inner_subs, kNidRecipientTable), nullptr);
  EXPECT_NE(FindSubnode(inner_subs, kNidAttachmentTable), nullptr);
}

TEST_F(Attachments, AnObjectValueNamingNoSubnodeIsCorruption) {
  PropertyMap attach;
  attach[Id(kAttachMethod)] = PropValue::Int32(kAttachEmbeddedMessage);
  std::vector<uint8_t> object(8, 0);
  le::Put32(object, 0, MakeNid(kNidTypeNormalMessage, 0x777));
  attach[Id(kAttachDataBinary)] = PropValue::Raw(kPtypObject, object);
  auto attach_pc = WritePropertyContext(store_, attach);
  auto message_pc = WritePropertyContext(store_, Mail("broken").props);
  ASSERT_TRUE(attach_pc.ok() && message_pc.ok());
  SubnodeEntry entries[] = {{MakeNid(kNidTypeAttachment, 0x900), attach_pc->data, 0}};
  auto sub = store_.WriteSubnodeTree(entries);
  ASSERT_TRUE(sub.ok());
  auto read = ReadMessageTrees(store_, message_pc->data, *sub);
  EXPECT_TRUE(read.status().IsCorruption()) << read.status().ToString();
}

}  // namespace
}  // namespace velmora::pst::testing
