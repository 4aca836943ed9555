// The size rule (message_size.h): what each value counts, and that the stored PidTagMessageSize can be
// recomputed from what the store holds for every shape of message, embedded ones included.
#include "pst/messaging/message/message_size.h"

#include <gtest/gtest.h>

#include "pst/messaging/message/message_test_support.h"

namespace velmora::pst::testing {
namespace {

using namespace msgtags;

TEST(CountedSize, EachTypeCountsItsStoredBytes) {
  EXPECT_EQ(CountedSize(PropValue::Bool(true)), 1u);
  EXPECT_EQ(CountedSize(PropValue::Int16(1)), 2u);
  EXPECT_EQ(CountedSize(PropValue::Int32(1)), 4u);
  EXPECT_EQ(CountedSize(PropValue::Time(1)), 8u);
  EXPECT_EQ(CountedSize(PropValue::Int64(1)), 8u);
  EXPECT_EQ(CountedSize(PropValue::String("")), 0u);
  EXPECT_EQ(CountedSize(PropValue::String("abc")), 6u);  // UTF-16, no terminator
  EXPECT_EQ(CountedSize(PropValue::String("😀")), 4u);    // a surrogate pair
  EXPECT_EQ(CountedSize(PropValue::Binary({})), 0u);
  EXPECT_EQ(CountedSize(PropValue::Binary({1, 2, 3})), 3u);
  // Multi-valued strings count their stored layout (count, offsets, items).
  EXPECT_EQ(CountedSize(PropValue::Raw(kPtypMultipleString,
                                       EncodeMultiValue(kPtypMultipleString, {{'a', 0}, {'b', 0, 'c', 0}}))),
            4u + 2 * 4 + 2 + 4);
}

TEST(CountedSize, StreamsCountTheirLengthWithoutBeingRead) {
  auto source = std::make_shared<PatternSource>(123456789, 1);
  EXPECT_EQ(CountedSize(PropValue::Stream(kPtypBinary, source)), 123456789u);
  EXPECT_EQ(source->bytes_read(), 0u);
}

TEST(CountedSize, ObjectsCountTheSizeTheCallerGives) {
  PropertyMap props;
  props[0x3701] = PropValue::Raw(kPtypObject, std::vector<uint8_t>(8));
  props[0x3705] = PropValue::Int32(5);
  EXPECT_EQ(CountedSize(props, 4500), 4504u);
}

TEST(CountedSize, SizesPastInt32AreClamped) {
  EXPECT_EQ(ClampSize(0), 0);
  EXPECT_EQ(ClampSize(0x7FFFFFFF), 0x7FFFFFFF);
  EXPECT_EQ(ClampSize(0x80000000ull), 0x7FFFFFFF);
  EXPECT_EQ(ClampSize(1ull << 40), 0x7FFFFFFF);
}

// The rule recomputed from a message as read back: props + recipient cells + attachment sizes.
int64_t Recomputed(const MessageContent& m) {
  uint64_t sum = CountedSize(m.props);
  for (const auto& r : m.recipients) sum += CountedSize(r.props);
  for (const auto& a : m.attachments) sum += static_cast<uint32_t>(*IntProp(a.props, kAttachSize));
  return static_cast<int64_t>(sum);
}

TEST(MessageSize, ByHandForASmallMessage) {
  MemoryNodeStore store;
  FakeNameMap names;
  MessageContent m;
  m.props[Id(kSubject)] = PropValue::String("Hi");  // 4
  m.recipients.push_back(Recipient("A", "a@b", kRecipientTo));
  MessageWriteOptions o;
  o.fill_recipient_defaults = false;
  auto w = WriteMessage(store, m, names.Resolver(), o);
  ASSERT_TRUE(w.ok());
  // Message: subject 4, class "IPM.Note" 16, flags 4, size 4, status 4, creation 8, modification 8,
  // search key 16, DisplayTo "A" 2 = 66. Recipient: type 4, name 2, "SMTP" 8, "a@b" 6 = 20.
  EXPECT_EQ(w->size, 66 + 20);
}

TEST(MessageSize, StoredValueIsTheRuleAppliedToWhatTheStoreHolds) {
  MemoryNodeStore store;
  FakeNameMap names;
  std::vector<MessageContent> shapes;
  shapes.push_back(Mail("plain"));
  MessageContent many = Mail("many");
  for (int i = 0; i < 40; ++i)
    many.recipients.push_back(Recipient("N" + std::to_string(i), "n@x.org", 1 + i % 3));
  shapes.push_back(std::move(many));
  MessageContent attached = Mail("attached");
  attached.props[0x1000] = PropValue::String(std::string(20000, 'b'));  // a body kept in a subnode
  attached.attachments.push_back(FileAttachment("x", PropValue::Binary(PatternBytes(70000, 2))));
  AttachmentContent inner;
  inner.embedded = std::make_unique<MessageContent>(Mail("inner"));
  inner.embedded->attachments.push_back(FileAttachment("y", PropValue::Binary(PatternBytes(10, 2))));
  attached.attachments.push_back(std::move(inner));
  shapes.push_back(std::move(attached));

  Nid nid = MakeNid(kNidTypeNormalMessage, 0x400);
  for (const MessageContent& shape : shapes) {
    auto w = Store(store, shape, nid, names);
    ASSERT_TRUE(w.ok()) << w.status().ToString();
    auto back = ReadMessage(store, nid);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(IntProp(back->props, kMessageSize), w->size);
    EXPECT_EQ(w->size, Recomputed(*back)) << *StringProp(back->props, kSubject);
    for (const auto& a : back->attachments) {
      if (a.embedded) {
        EXPECT_EQ(*IntProp(a.embedded->props, kMessageSize), Recomputed(*a.embedded));
      }
    }
    nid += 32;
  }
}

TEST(MessageSize, SameContentGivesTheSameSize) {
  MemoryNodeStore store;
  FakeNameMap names;
  MessageContent m = Mail("twice");
  m.recipients.push_back(Recipient("A", "a@b", kRecipientTo));
  m.attachments.push_back(FileAttachment("x", PropValue::Binary(PatternBytes(9000, 2))));
  auto a = WriteMessage(store, m, names.Resolver());
  auto b = WriteMessage(store, m, names.Resolver());
  ASSERT_TRUE(a.ok() && b.ok());
  EXPECT_EQ(a->size, b->size);
}

}  // namespace
}  // namespace velmora::pst::testing
