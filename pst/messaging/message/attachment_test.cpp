// Attachments and embedded messages: counts from none to fifty, the attachment table against the attachment
// PCs, PidTagAttachSize, a 50 MB attachment that must stream, and messages nested three deep.
#include <gtest/gtest.h>

#include "pst/ltp/le_bytes.h"
#include "pst/ltp/table_context.h"
#include "pst/messaging/message/attachment_writer.h"
#include "pst/messaging/message/message_size.h"
#include "pst/messaging/message/message_test_support.h"

namespace velmora::pst::testing {
namespace {

using namespace msgtags;

constexpr Nid kMsgNid = MakeNid(kNidTypeNormalMessage, 0x400);

std::vector<SubnodeEntry> SubnodesOf(MemoryNodeStore& store, Bid sub) {
  if (!sub) return {};
  auto s = store.ReadSubnodes(sub);
  return s.ok() ? *s : std::vector<SubnodeEntry>();
}

const SubnodeEntry* FindEntry(const std::vector<SubnodeEntry>& subs, Nid nid) {
  for (const auto& e : subs)
    if (e.nid == nid) return &e;
  return nullptr;
}

class Attachments : public ::testing::Test {
 protected:
  Result<MessageContent> RoundTrip(const MessageContent& in) {
    PST_ASSIGN_OR_RETURN(written_, Store(store_, in, kMsgNid, names_));
    return ReadMessage(store_, kMsgNid);
  }
  MemoryNodeStore store_;
  FakeNameMap names_;
  WrittenMessage written_;
};

TEST_F(Attachments, ZeroToFiftyComeBackInOrderWithTheirData) {
  for (int count : {0, 1, 2, 17, 50}) {
    SCOPED_TRACE(count);
    MessageContent in = Mail("with " + std::to_string(count));
    for (int i = 0; i < count; ++i) {
      // Sizes around the heap limit (3,580) and the block limit (8,176) take both storage paths.
      const size_t size = static_cast<size_t>(i) * 613 % 9000;
      in.attachments.push_back(
          FileAttachment("file" + std::to_string(i) + ".bin",
                         PropValue::Binary(PatternBytes(size, static_cast<uint32_t>(i)))));
    }
    auto out = RoundTrip(in);
    ASSERT_TRUE(out.ok()) << out.status().ToString();
    ASSERT_EQ(out->attachments.size(), static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      EXPECT_TRUE(HoldsAll(out->attachments[i].props, in.attachments[i].props)) << i;
      EXPECT_EQ(IntProp(out->attachments[i].props, kAttachMethod), kAttachByValue);
      EXPECT_EQ(IntProp(out->attachments[i].props, kRenderingPosition), kRenderingPositionNone);
    }
    auto subs = SubnodesOf(store_, written_.sub);
    EXPECT_EQ(FindEntry(subs, kNidAttachmentTable) != nullptr, count > 0);
    EXPECT_EQ(written_.has_attachments, count > 0);
  }
}

TEST_F(Attachments, TableRowsNameTheAttachmentSubnodesAndCopyTheirPcs) {
  MessageContent in = Mail("table");
  for (int i = 0; i < 5; ++i)
    in.attachments.push_back(
        FileAttachment("n" + std::to_string(i) + ".txt", PropValue::Binary(PatternBytes(40, 7))));
  in.attachments[3].props.erase(Id(kAttachFilename));               // an absent value leaves its cell empty
  in.attachments[2].props[0x3712] = PropValue::String("img@x");     // PidTagAttachContentId
  in.attachments[2].props[0x37140003 >> 16] = PropValue::Int32(4);  // PidTagAttachFlags: rendered in body
  in.attachments[2].props[0x370E] = PropValue::Binary({1});         // a MIME tag of the wrong type: no cell
  ASSERT_TRUE(RoundTrip(in).ok());

  auto subs = SubnodesOf(store_, written_.sub);
  const SubnodeEntry* at = FindEntry(subs, kNidAttachmentTable);
  ASSERT_NE(at, nullptr);
  auto table = ReadTableContext(store_, at->data, SubnodesOf(store_, at->sub));
  ASSERT_TRUE(table.ok()) << table.status().ToString();
  for (PropTag t : kAttachmentTemplateColumns)
    EXPECT_NE(std::find(table->columns.begin(), table->columns.end(), t), table->columns.end());
  EXPECT_EQ(table->columns.size(), kAttachmentTableColumns.size());
  ASSERT_EQ(table->rows.size(), 5u);
  for (const TableRow& row : table->rows) {
    const SubnodeEntry* pc_entry = FindEntry(subs, row.row_id);
    ASSERT_NE(pc_entry, nullptr) << "row " << row.row_id << " names no subnode";
    EXPECT_EQ(NidTypeOf(row.row_id), kNidTypeAttachment);
    auto pc = ReadPropertyContext(store_, pc_entry->data, SubnodesOf(store_, pc_entry->sub));
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
  EXPECT_FALSE(table->rows[3].cells.count(kAttachFilename));
  EXPECT_EQ(table->rows[2].cells.at(0x3712001F).AsString(), "img@x");
  EXPECT_EQ(table->rows[2].cells.at(0x37140003).AsInt32(), 4);
  EXPECT_FALSE(table->rows[2].cells.count(0x370E001F));
  EXPECT_EQ(table->rows[0].cells.at(0x3707001F).AsString(), "n0.txt");
}

TEST_F(Attachments, AttachSizeCountsEveryValueOfTheAttachment) {
  MessageContent in = Mail("sizes");
  AttachmentContent a = FileAttachment("a.txt", PropValue::Binary(PatternBytes(100, 3)));
  a.props[0x7FFE] = PropValue::Bool(false);        // PidTagAttachmentHidden: 1
  a.props[0x3007] = PropValue::Time(1);            // PidTagCreationTime: 8
  a.props[Id(kAttachSize)] = PropValue::Int32(1);  // the caller's value is replaced
  in.attachments.push_back(std::move(a));
  auto out = RoundTrip(in);
  ASSERT_TRUE(out.ok());
  // names 10 + 10, data 100, hidden 1, time 8, method 4, rendering 4, size itself 4.
  EXPECT_EQ(IntProp(out->attachments[0].props, kAttachSize), 10 + 10 + 100 + 1 + 8 + 4 + 4 + 4);
}

TEST_F(Attachments, FiftyMegabytesStreamInPiecesAndReadBackLazily) {
  constexpr uint64_t kSize = 50ull << 20;
  auto source = std::make_shared<PatternSource>(kSize, 99);
  MessageContent in = Mail("big");
  in.attachments.push_back(FileAttachment("big.bin", PropValue::Stream(kPtypBinary, source)));
  auto out = RoundTrip(in);
  ASSERT_TRUE(out.ok()) << out.status().ToString();

  EXPECT_LE(source->largest_read(), 64u << 10) << "the writer must read the data in pieces";
  EXPECT_EQ(source->bytes_read(), kSize) << "the data is read once, for the blocks, not for its size";
  EXPECT_EQ(IntProp(out->attachments[0].props, kAttachSize),
            static_cast<int32_t>(kSize + 14 + 14 + 4 + 4 + 4));
  EXPECT_GT(written_.size, static_cast<int32_t>(kSize));

  const PropValue& data = out->attachments[0].props.at(Id(kAttachDataBinary));
  ASSERT_TRUE(data.stream) << "a 50 MB value must come back as a stream";
  ASSERT_EQ(data.stream->Size(), kSize);
  std::vector<uint8_t> piece(1 << 20);
  for (uint64_t at = 0; at < kSize; at += piece.size()) {
    ASSERT_TRUE(data.stream->Read(at, piece).ok());
    for (size_t i = 0; i < piece.size(); i += 4093)
      ASSERT_EQ(piece[i], PatternByte(at + i, 99)) << "offset " << at + i;
  }
  std::vector<uint8_t> tail(10);
  ASSERT_TRUE(data.stream->Read(kSize - 10, tail).ok());
  for (size_t i = 0; i < 10; ++i) EXPECT_EQ(tail[i], PatternByte(kSize - 10 + i, 99));
}

// Level n has one recipient, one file and (above the last level) one embedded message.
MessageContent Nested(int levels) {
  MessageContent m = Mail("level " + std::to_string(levels));
  m.recipients.push_back(Recipient("R" + std::to_string(levels), "r@example.com", kRecipientTo));
  m.attachments.push_back(
      FileAttachment("f" + std::to_string(levels), PropValue::Binary(PatternBytes(5000, 1))));
  if (levels > 0) {
    AttachmentContent a;
    a.props[0x3001] = PropValue::String("level " + std::to_string(levels - 1));  // PidTagDisplayName
    a.embedded = std::make_unique<MessageContent>(Nested(levels - 1));
    m.attachments.push_back(std::move(a));
  }
  return m;
}

TEST_F(Attachments, EmbeddedMessagesThreeDeepRoundTrip) {
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
    EXPECT_EQ(IntProp(have->props, kMessageFlags).value_or(0) & kMsgFlagHasAttach, kMsgFlagHasAttach);
    if (level == 0) break;
    const AttachmentContent& e = have->attachments[1];
    EXPECT_EQ(IntProp(e.props, kAttachMethod), kAttachEmbeddedMessage);
    ASSERT_TRUE(e.embedded);
    // PidTagAttachSize counts the embedded message as its PidTagMessageSize.
    // (The reader hands the object over as `embedded`, so e.props holds every other value.)
    EXPECT_EQ(IntProp(e.props, kAttachSize),
              static_cast<int32_t>(CountedSize(e.props) + *IntProp(e.embedded->props, kMessageSize)));
    have = e.embedded.get();
    want = want->attachments[1].embedded.get();
  }
}

TEST_F(Attachments, EmbeddedMessageIsAnObjectSubnodeOfItsAttachment) {
  MessageContent in = Nested(1);
  ASSERT_TRUE(RoundTrip(in).ok());
  auto subs = SubnodesOf(store_, written_.sub);
  const SubnodeEntry* attach = nullptr;
  PropertyMap attach_props;
  for (const auto& e : subs) {
    if (NidTypeOf(e.nid) != kNidTypeAttachment) continue;
    auto pc = ReadPropertyContext(store_, e.data, SubnodesOf(store_, e.sub));
    ASSERT_TRUE(pc.ok());
    if (IntProp(*pc, kAttachMethod) == kAttachEmbeddedMessage) {
      attach = &e;
      attach_props = *pc;
    }
  }
  ASSERT_NE(attach, nullptr);
  const PropValue& object = attach_props.at(Id(kAttachDataObject));
  ASSERT_EQ(object.type, kPtypObject);
  ASSERT_EQ(object.bytes.size(), 8u);
  const Nid inner_nid = le::Get32(object.bytes, 0);
  const std::vector<SubnodeEntry> attach_subs = SubnodesOf(store_, attach->sub);
  const SubnodeEntry* inner = FindEntry(attach_subs, inner_nid);
  ASSERT_NE(inner, nullptr) << "the PtypObject NID must be a subnode of the attachment";
  EXPECT_EQ(NidTypeOf(inner_nid), kNidTypeNormalMessage);
  auto inner_pc = ReadPropertyContext(store_, inner->data, SubnodesOf(store_, inner->sub));
  ASSERT_TRUE(inner_pc.ok());
  EXPECT_EQ(le::Get32(object.bytes, 4), static_cast<uint32_t>(*IntProp(*inner_pc, kMessageSize)));
  // The embedded message carries its own recipient and attachment tables.
  auto inner_subs = SubnodesOf(store_, inner->sub);
  EXPECT_NE(FindEntry(inner_subs, kNidRecipientTable), nullptr);
  EXPECT_NE(FindEntry(inner_subs, kNidAttachmentTable), nullptr);
}

TEST_F(Attachments, ReaderRejectsAnObjectValuePointingNowhere) {
  // An attachment PC whose PtypObject names a subnode that does not exist: corruption, not a crash.
  MessageContent in = Mail("broken");
  AttachmentContent a;
  a.props[Id(kAttachMethod)] = PropValue::Int32(kAttachEmbeddedMessage);
  std::vector<uint8_t> bogus(8, 0);
  le::Put32(bogus, 0, MakeNid(kNidTypeNormalMessage, 0x777));
  a.props[Id(kAttachDataBinary)] = PropValue::Raw(kPtypObject, bogus);
  auto pc = WritePropertyContext(store_, a.props);
  ASSERT_TRUE(pc.ok());
  Nid anid = MakeNid(kNidTypeAttachment, 0x900);
  auto pc_msg = WritePropertyContext(store_, in.props);
  ASSERT_TRUE(pc_msg.ok());
  SubnodeEntry entries[] = {{anid, pc->data, 0}};
  auto sub = store_.WriteSubnodeTree(entries);
  ASSERT_TRUE(sub.ok());
  auto read = ReadMessageTrees(store_, pc_msg->data, *sub);
  EXPECT_TRUE(read.status().IsCorruption()) << read.status().ToString();
}

}  // namespace
}  // namespace velmora::pst::testing
