// The size rule (message_size.h): what each value counts, and that the stored PidTagMessageSize can be
// recomputed from what the store holds for every shape of message, embedded ones included.
#include "pst/messaging/message/message_size.h"

#include <gtest/gtest.h>

#include "pst/messaging/message/held_bytes.h"
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

// Every message level below (data, sub) stores the bytes it holds as its PidTagMessageSize; returns how many
// levels were checked.
int CheckEveryLevel(MemoryNodeStore& store, Bid data, Bid sub) {
  auto pc_subs = sub ? *store.ReadSubnodes(sub) : std::vector<SubnodeEntry>();
  auto props = ReadPropertyContext(store, data, pc_subs);
  EXPECT_TRUE(props.ok());
  if (!props.ok()) return 0;
  auto held = HeldBytes(store, data, sub);
  EXPECT_TRUE(held.ok());
  EXPECT_EQ(IntProp(*props, kMessageSize), static_cast<int32_t>(*held)) << *StringProp(*props, kSubject);
  int levels = 1;
  for (const SubnodeEntry& a : pc_subs) {
    if (NidTypeOf(a.nid) != kNidTypeAttachment || !a.sub) continue;
    auto below = store.ReadSubnodes(a.sub);
    if (!below.ok()) continue;
    for (const SubnodeEntry& inner : *below)
      if (NidTypeOf(inner.nid) == kNidTypeNormalMessage)
        levels += CheckEveryLevel(store, inner.data, inner.sub);
  }
  return levels;
}

TEST(MessageSize, EveryLevelStoresTheBytesItsTreesHold) {
  MemoryNodeStore store;
  FakeNameMap names;
  std::vector<MessageContent> shapes;
  shapes.push_back(Mail("plain"));
  MessageContent many = Mail("many");  // a recipient row matrix in its own subnode
  for (int i = 0; i < 40; ++i)
    many.recipients.push_back(Recipient("N" + std::to_string(i), "n@x.org", 1 + i % 3));
  shapes.push_back(std::move(many));
  MessageContent attached = Mail("attached");
  attached.props[0x1000] = PropValue::String(std::string(20000, 'b'));  // a body kept in a subnode
  attached.attachments.push_back(FileAttachment("x", PropValue::Binary(PatternBytes(70000, 2))));
  AttachmentContent inner;
  inner.embedded = std::make_unique<MessageContent>(Mail("inner"));
  inner.embedded->attachments.push_back(FileAttachment("y", PropValue::Binary(PatternBytes(10, 2))));
  AttachmentContent innermost;
  innermost.embedded = std::make_unique<MessageContent>(Mail("innermost"));
  inner.embedded->attachments.push_back(std::move(innermost));
  attached.attachments.push_back(std::move(inner));
  shapes.push_back(std::move(attached));

  int levels = 0;
  for (const MessageContent& shape : shapes) {
    auto w = WriteMessage(store, shape, names.Resolver());
    ASSERT_TRUE(w.ok()) << w.status().ToString();
    auto held = HeldBytes(store, w->data, w->sub);
    ASSERT_TRUE(held.ok());
    EXPECT_EQ(w->size, static_cast<int32_t>(*held));
    levels += CheckEveryLevel(store, w->data, w->sub);
  }
  EXPECT_EQ(levels, 5);
}

TEST(MessageSize, MeasuringAPcGivesWhatWritingItHolds) {
  std::vector<PropertyMap> pcs(4);
  pcs[0][0x0037] = PropValue::String("small");
  pcs[0][0x0E08] = PropValue::Int32(0);
  for (uint16_t id = 0x4000; id < 0x4000 + 600; ++id)  // more records than one BTH leaf holds
    pcs[1][id] = id % 2 ? PropValue::Int32(id) : PropValue::String(std::string(id % 50, 'v'));
  pcs[2][0x1000] = PropValue::String(std::string(3000, 'a'));  // 6,000 bytes: a subnode
  pcs[2][0x1013] = PropValue::Binary(PatternBytes(3580, 1));   // exactly the largest heap item
  pcs[2][0x1009] = PropValue::Binary(PatternBytes(3581, 1));   // one more: a subnode
  auto stream = std::make_shared<PatternSource>(200000, 4);
  pcs[3][0x3701] = PropValue::Stream(kPtypBinary, stream);
  pcs[3][0x3703] = PropValue::Stream(kPtypBinary, std::make_shared<PatternSource>(100, 4));  // small stream
  for (const PropertyMap& props : pcs) {
    MemoryNodeStore store;
    auto measured = MeasurePropertyContext(props);
    ASSERT_TRUE(measured.ok()) << measured.status().ToString();
    auto pc = WritePropertyContext(store, props);
    ASSERT_TRUE(pc.ok());
    uint64_t held = *store.DataTreeSize(pc->data);
    for (const auto& e : pc->subnodes) held += *store.DataTreeSize(e.data);
    EXPECT_EQ(*measured, held);
  }
  EXPECT_EQ(stream->bytes_read(), 200000u) << "measuring reads no large stream; only the real write does";
}

TEST(MessageSize, ValuesPastTheHeapCountTheirFullLength) {
  MemoryNodeStore store;
  FakeNameMap names;
  MessageContent small = Mail("body");
  small.props[0x1000] = PropValue::String(std::string(5000, 'q'));
  MessageContent big = Mail("body");
  big.props[0x1000] = PropValue::String(std::string(25000, 'q'));
  MessageWriteOptions o;
  o.now_filetime = 1;
  o.search_key = [] { return std::array<uint8_t, 16>{}; };
  auto a = WriteMessage(store, small, names.Resolver(), o);
  auto b = WriteMessage(store, big, names.Resolver(), o);
  ASSERT_TRUE(a.ok() && b.ok());
  EXPECT_EQ(b->size - a->size, 40000);  // both bodies live in subnodes; only their lengths differ
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
