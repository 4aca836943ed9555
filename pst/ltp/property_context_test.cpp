#include "pst/ltp/property_context.h"

#include <gtest/gtest.h>

#include "pst/ltp/bth.h"
#include "pst/ltp/heap.h"
#include "pst/ltp/le_bytes.h"
#include "pst/ltp/ltp_test_util.h"
#include "pst/ltp/table_context.h"

namespace velmora::pst {
namespace {

using testing::Pattern;
using testing::PatternSource;
using testing::TamperStore;

Result<PropertyMap> RoundTrip(TamperStore& store, const PropertyMap& props, uint64_t inline_limit = 1 << 20,
                              HeapOutput* out = nullptr) {
  PST_ASSIGN_OR_RETURN(HeapOutput written, WritePropertyContext(store, props));
  if (out) *out = written;
  return ReadPropertyContext(store, written.data, written.subnodes, inline_limit);
}

void ExpectSameValues(const PropertyMap& want, const PropertyMap& got) {
  ASSERT_EQ(want.size(), got.size());
  for (const auto& [id, v] : want) {
    auto it = got.find(id);
    ASSERT_NE(it, got.end()) << Hex(id);
    EXPECT_EQ(it->second.type, v.type) << Hex(id);
    EXPECT_EQ(*it->second.Load(), *v.Load()) << Hex(id);
  }
}

// The PC_BTH_RECORD of one property: {type, dwValueHnid}.
std::pair<uint16_t, uint32_t> Record(NodeStore& store, Bid data, uint16_t id) {
  auto heap = HeapReader::Open(store, data, "pc");
  auto records = ReadBth(*heap, heap->user_root());
  for (size_t i = 0; i < records->size(); ++i)
    if (le::Get16(records->key(i), 0) == id)
      return {le::Get16(records->data(i), 0), le::Get32(records->data(i), 2)};
  return {0, 0};
}

TEST(PropertyContextTest, EveryTypeRoundTrips) {
  PropertyMap props;
  props[0x0001] = PropValue::Int16(-300);
  props[0x0002] = PropValue::Int32(-70000);
  props[0x0003] = PropValue::Raw(kPtypFloating32, {0, 0, 0x80, 0x3F});
  props[0x0004] = PropValue::Raw(kPtypFloating64, Pattern(8));
  props[0x0005] = PropValue::Raw(kPtypCurrency, Pattern(8, 1));
  props[0x0006] = PropValue::Raw(kPtypFloatingTime, Pattern(8, 2));
  props[0x0007] = PropValue::Raw(kPtypErrorCode, {0x0F, 0x01, 0x04, 0x80});
  props[0x0008] = PropValue::Bool(true);
  props[0x0009] = PropValue::Bool(false);
  props[0x000A] = PropValue::Int64(-1234567890123ll);
  props[0x000B] = PropValue::String("Grüße \xF0\x9F\x93\xA7");
  props[0x000C] = PropValue::String("");
  props[0x000D] = PropValue::Raw(kPtypString8, {'a', 'b'});
  props[0x000E] = PropValue::Time(0x01D9'0000'1234'5678ull);
  props[0x000F] = PropValue::Raw(kPtypGuid, Pattern(16, 3));
  props[0x0010] = PropValue::Binary(Pattern(300));
  props[0x0011] = PropValue::Binary({});
  props[0x0012] = PropValue::Raw(kPtypObject, {0x4F, 0x80, 0, 0, 0x10, 0x27, 0, 0});
  props[0x0013] =
      PropValue::Raw(kPtypMultipleInteger32, EncodeMultiValue(kPtypMultipleInteger32, {{1, 0, 0, 0}}));
  props[0x0014] =
      PropValue::Raw(kPtypMultipleString, EncodeMultiValue(kPtypMultipleString, {Utf8ToUtf16le("x"), {}}));
  props[0x0015] =
      PropValue::Raw(kPtypMultipleBinary, EncodeMultiValue(kPtypMultipleBinary, {Pattern(20), Pattern(3)}));
  props[0x0016] = PropValue::Raw(static_cast<uint16_t>(kPtypMultipleFlag | kPtypGuid), Pattern(48));
  props[0x0017] = PropValue::Raw(static_cast<uint16_t>(kPtypMultipleFlag | kPtypTime), Pattern(16));

  TamperStore store;
  HeapOutput out;
  auto got = RoundTrip(store, props, 1 << 20, &out);
  ASSERT_TRUE(got.ok()) << got.status().ToString();
  ExpectSameValues(props, *got);
  EXPECT_TRUE(out.subnodes.empty());
  EXPECT_EQ(got->at(0x000B).AsString(), "Grüße \xF0\x9F\x93\xA7");
  EXPECT_EQ(got->at(0x0008).AsBool(), true);
}

TEST(PropertyContextTest, SmallFixedValuesSitInTheRecordAndEmptyValuesHaveHnidZero) {
  TamperStore store;
  PropertyMap props = {{0x3602, PropValue::Int32(0x11223344)},
                       {0x360A, PropValue::Bool(true)},
                       {0x0017, PropValue::Int16(-2)},
                       {0x3001, PropValue::String("")},
                       {0x0E06, PropValue::Time(5)}};
  auto out = WritePropertyContext(store, props);
  ASSERT_TRUE(out.ok());
  EXPECT_EQ(Record(store, out->data, 0x3602), std::make_pair(uint16_t{kPtypInteger32}, 0x11223344u));
  EXPECT_EQ(Record(store, out->data, 0x360A), std::make_pair(uint16_t{kPtypBoolean}, 1u));
  EXPECT_EQ(Record(store, out->data, 0x0017), std::make_pair(uint16_t{kPtypInteger16}, 0xFFFEu));
  // Outlook's root folder stores its empty display name as HNID 0, without an allocation.
  EXPECT_EQ(Record(store, out->data, 0x3001), std::make_pair(uint16_t{kPtypString}, 0u));
  auto heap = HeapReader::Open(store, out->data, "pc");
  EXPECT_TRUE(heap->Get(0x60).ok());  // header, records, the time value: three allocations
  EXPECT_FALSE(heap->Get(0x80).ok());
  EXPECT_EQ(heap->user_root(), 0x20u);  // BTH header first, as Outlook writes it
  EXPECT_EQ(heap->Get(0x20).value()[1], 2);
  EXPECT_EQ(heap->Get(0x20).value()[2], 6);
}

TEST(PropertyContextTest, ValuesAbove3580BytesMoveToSubnodes) {
  TamperStore store;
  PropertyMap props = {{0x1000, PropValue::Binary(Pattern(3580))},
                       {0x1001, PropValue::Binary(Pattern(3581, 9))},
                       {0x1002, PropValue::Binary(Pattern(8176 * 3 + 5, 4))}};
  HeapOutput out;
  auto got = RoundTrip(store, props, 1 << 20, &out);
  ASSERT_TRUE(got.ok()) << got.status().ToString();
  ExpectSameValues(props, *got);
  EXPECT_EQ(HidType(Record(store, out.data, 0x1000).second), 0);
  ASSERT_EQ(out.subnodes.size(), 2u);
  for (const auto& sub : out.subnodes) {
    EXPECT_EQ(NidTypeOf(sub.nid), kNidTypeLtp);
    EXPECT_EQ(sub.sub, 0u);
  }
  EXPECT_EQ(Record(store, out.data, 0x1001).second, out.subnodes[0].nid);
  EXPECT_EQ(store.DataBlocks(out.subnodes[1].data)->size(), 4u);
}

TEST(PropertyContextTest, MoreThan447PropertiesNeedAnIndexLevel) {
  TamperStore store;
  PropertyMap props;
  for (uint16_t id = 1; id <= 1500; ++id)
    props[id] = id % 3 == 0 ? PropValue::Int32(id) : PropValue::Binary(Pattern(id % 50, id));
  HeapOutput out;
  auto got = RoundTrip(store, props, 1 << 20, &out);
  ASSERT_TRUE(got.ok()) << got.status().ToString();
  ExpectSameValues(props, *got);
  auto heap = HeapReader::Open(store, out.data, "pc");
  EXPECT_EQ(heap->Get(heap->user_root()).value()[3], 1);  // bIdxLevels
  EXPECT_GT(heap->block_count(), 1u);
}

TEST(PropertyContextTest, TwentyMegabyteStreamIsWrittenAndReadInBlocks) {
  constexpr uint64_t kSize = 20ull << 20;
  TamperStore store;
  auto source = std::make_shared<PatternSource>(kSize);
  PropertyMap props = {{0x3701, PropValue::Stream(kPtypBinary, source)}, {0x3705, PropValue::Int32(1)}};
  auto out = WritePropertyContext(store, props);
  ASSERT_TRUE(out.ok()) << out.status().ToString();
  EXPECT_LE(source->largest_read(), kMaxBlockData);
  ASSERT_EQ(out->subnodes.size(), 1u);
  EXPECT_EQ(store.DataBlocks(out->subnodes[0].data)->size(), (kSize + kMaxBlockData - 1) / kMaxBlockData);

  const int reads_before = store.reads();
  auto got = ReadPropertyContext(store, out->data, out->subnodes);
  ASSERT_TRUE(got.ok()) << got.status().ToString();
  const PropValue& v = got->at(0x3701);
  ASSERT_TRUE(v.stream);
  EXPECT_EQ(v.Size(), kSize);
  EXPECT_LE(store.reads() - reads_before, 2);  // the PC's heap only: nothing of the stream yet

  // Pieces that straddle block boundaries, the very end, and a read past it.
  for (uint64_t offset : {uint64_t{0}, uint64_t{8170}, uint64_t{kMaxBlockData * 1000 - 3}, kSize - 100}) {
    std::vector<uint8_t> piece(100);
    ASSERT_TRUE(v.stream->Read(offset, piece).ok()) << offset;
    for (size_t i = 0; i < piece.size(); ++i)
      ASSERT_EQ(piece[i], PatternSource::At(offset + i)) << offset + i;
  }
  std::vector<uint8_t> past(101);
  EXPECT_FALSE(v.stream->Read(kSize - 100, past).ok());
}

TEST(PropertyContextTest, InlineLimitDecidesBetweenBytesAndStream) {
  TamperStore store;
  PropertyMap props = {{0x1000, PropValue::Binary(Pattern(5000))}};
  auto small_limit = RoundTrip(store, props, 4096);
  ASSERT_TRUE(small_limit.ok());
  EXPECT_TRUE(small_limit->at(0x1000).stream);
  EXPECT_EQ(*small_limit->at(0x1000).Load(), Pattern(5000));
  auto default_limit = RoundTrip(store, props);
  EXPECT_FALSE(default_limit->at(0x1000).stream);
}

TEST(PropertyContextTest, StreamsGoToSubnodesWhateverTheirSize) {
  TamperStore store;
  PropertyMap props = {{0x1013, PropValue::Stream(kPtypBinary, std::make_shared<PatternSource>(100))},
                       {0x1014, PropValue::Stream(kPtypBinary, std::make_shared<PatternSource>(0))}};
  HeapOutput out;
  auto got = RoundTrip(store, props, 1 << 20, &out);
  ASSERT_TRUE(got.ok());
  ASSERT_EQ(out.subnodes.size(), 1u);
  EXPECT_EQ(Record(store, out.data, 0x1013).second, out.subnodes[0].nid);
  EXPECT_EQ(got->at(0x1013).bytes, Pattern(100));
  EXPECT_EQ(Record(store, out.data, 0x1014).second, 0u);
  EXPECT_TRUE(got->at(0x1014).bytes.empty());
}

TEST(PropertyContextTest, BadFixedSizeValueFailsAndReleasesWhatWasWritten) {
  TamperStore store;
  PropertyMap props = {{0x1000, PropValue::Binary(Pattern(20000))},
                       {0x2000, PropValue::Raw(kPtypInteger32, {1, 2, 3})}};
  auto out = WritePropertyContext(store, props);
  EXPECT_EQ(out.status().code(), Code::kInvalidArgument);
  EXPECT_EQ(store.live_blocks(), 0u);
}

// ---- Damaged property contexts.

TEST(PropertyContextCorruptionTest, ATableIsNotAPropertyContext) {
  TamperStore store;
  auto tc = WriteTableContext(store, Table{{kTagLtpRowId, kTagLtpRowVer}, {}});
  auto s = ReadPropertyContext(store, tc->data, {}).status();
  EXPECT_TRUE(s.IsCorruption()) << s.ToString();
}

TEST(PropertyContextCorruptionTest, BthWithTheWrongRecordShape) {
  TamperStore store;
  HeapWriter heap(kClientSigPropertyContext);
  auto bth = BthWriter::Begin(heap, 4, 4);
  ASSERT_TRUE(bth->ReserveRecords(heap, 0).ok());
  ASSERT_TRUE(bth->Finish(heap, {}).ok());
  heap.SetUserRoot(bth->header());
  Bid data = *heap.Finish(store);
  EXPECT_TRUE(ReadPropertyContext(store, data, {}).status().IsCorruption());
}

TEST(PropertyContextCorruptionTest, ValueInAMissingSubnode) {
  TamperStore store;
  auto out = WritePropertyContext(store, {{0x1000, PropValue::Binary(Pattern(9000))}});
  auto s = ReadPropertyContext(store, out->data, {}).status();
  EXPECT_TRUE(s.IsCorruption()) << s.ToString();
  EXPECT_NE(s.message().find("0x10000102"), std::string::npos) << s.message();
}

TEST(PropertyContextCorruptionTest, ValueHidBeyondTheHeap) {
  TamperStore store;
  auto out = WritePropertyContext(store, {{0x3001, PropValue::String("abc")}});
  Bid block = store.DataBlocks(out->data)->at(0);
  store.Tamper(block, [](std::vector<uint8_t>& b) {
    // The record is the second allocation: key(2) type(2) hnid(4) at offset 12 + 8.
    le::Put32(b, 12 + 8 + 4, MakeHid(0, 40));
  });
  auto s = ReadPropertyContext(store, out->data, out->subnodes).status();
  EXPECT_TRUE(s.IsCorruption()) << s.ToString();
}

TEST(PropertyContextCorruptionTest, NoDataAtAll) {
  TamperStore store;
  EXPECT_TRUE(ReadPropertyContext(store, 0, {}).status().IsCorruption());
}

}  // namespace
}  // namespace velmora::pst
