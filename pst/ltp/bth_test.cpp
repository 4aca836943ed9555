#include "pst/ltp/bth.h"

#include <gtest/gtest.h>

#include "pst/ltp/le_bytes.h"
#include "pst/ltp/ltp_test_util.h"

namespace velmora::pst {
namespace {

using testing::TamperStore;

struct Built {
  Bid tree = 0;
  Hid header = 0;
};

// A BTH of `count` records with keys 3, 6, 9, ... and data derived from the key.
Built Build(NodeStore& store, size_t count, uint8_t key_size = 4, uint8_t data_size = 4) {
  HeapWriter heap(kClientSigBth);
  auto w = BthWriter::Begin(heap, key_size, data_size);
  EXPECT_TRUE(w.ok());
  EXPECT_TRUE(w->ReserveRecords(heap, count).ok());
  std::vector<uint8_t> records;
  for (size_t i = 0; i < count; ++i) {
    const uint64_t key = 3 * (i + 1);
    for (size_t k = 0; k < key_size; ++k) records.push_back(static_cast<uint8_t>(k < 8 ? key >> (8 * k) : 0));
    for (size_t k = 0; k < data_size; ++k) records.push_back(static_cast<uint8_t>(key * 7 + k));
  }
  EXPECT_TRUE(w->Finish(heap, records).ok());
  heap.SetUserRoot(w->header());
  Built b{0, w->header()};
  b.tree = heap.Finish(store).value();
  return b;
}

Result<BthRecords> Read(NodeStore& store, const Built& b) {
  PST_ASSIGN_OR_RETURN(HeapReader heap, HeapReader::Open(store, b.tree, "node 0x40"));
  return ReadBth(heap, b.header);
}

uint8_t IndexLevels(NodeStore& store, const Built& b) {
  auto heap = HeapReader::Open(store, b.tree, "node");
  return heap->Get(b.header).value()[3];
}

void ExpectRecords(const BthRecords& r, size_t count, uint8_t key_size, uint8_t data_size) {
  ASSERT_EQ(r.size(), count);
  for (size_t i = 0; i < count; ++i) {
    const uint64_t key = 3 * (i + 1);
    ASSERT_EQ(le::GetN(r.key(i), 0, std::min<size_t>(key_size, 8)), key) << i;
    for (size_t k = 0; k < data_size; ++k) ASSERT_EQ(r.data(i)[k], static_cast<uint8_t>(key * 7 + k));
  }
}

TEST(BthTest, RecordCountsAroundOneLeafAndOneIndexPage) {
  // 447 eight-byte records fill one 3,580-byte leaf; 447 leaves fill one index allocation.
  const std::vector<std::pair<size_t, uint8_t>> cases = {{0, 0},   {1, 0},         {447, 0},
                                                         {448, 1}, {447 * 447, 1}, {447 * 447 + 1, 2}};
  for (auto [count, levels] : cases) {
    TamperStore store;
    Built b = Build(store, count);
    auto r = Read(store, b);
    ASSERT_TRUE(r.ok()) << count << ": " << r.status().ToString();
    EXPECT_EQ(IndexLevels(store, b), levels) << count;
    ExpectRecords(*r, count, 4, 4);
  }
}

TEST(BthTest, EveryKeySize) {
  for (int size : {2, 4, 8, 16}) {
    const auto key_size = static_cast<uint8_t>(size);
    TamperStore store;
    Built b = Build(store, 1000, key_size, 6);
    auto r = Read(store, b);
    ASSERT_TRUE(r.ok()) << r.status().ToString();
    EXPECT_EQ(r->key_size, key_size);
    ExpectRecords(*r, 1000, key_size, 6);
  }
}

TEST(BthTest, EmptyTreeHasRootZero) {
  TamperStore store;
  Built b = Build(store, 0);
  auto heap = HeapReader::Open(store, b.tree, "node");
  auto h = heap->Get(b.header).value();
  EXPECT_EQ(std::vector<uint8_t>(h.begin(), h.end()), (std::vector<uint8_t>{0xB5, 4, 4, 0, 0, 0, 0, 0}));
}

TEST(BthTest, WriterRejectsUnsortedKeysAndBadShapes) {
  HeapWriter heap(kClientSigBth);
  EXPECT_FALSE(BthWriter::Begin(heap, 3, 4).ok());
  EXPECT_FALSE(BthWriter::Begin(heap, 4, 0).ok());
  EXPECT_FALSE(BthWriter::Begin(heap, 4, 33).ok());
  auto w = BthWriter::Begin(heap, 2, 2);
  ASSERT_TRUE(w->ReserveRecords(heap, 2).ok());
  EXPECT_EQ(w->Finish(heap, std::vector<uint8_t>{2, 0, 0, 0, 1, 0, 0, 0}).code(), Code::kInvalidArgument);
  EXPECT_EQ(w->Finish(heap, std::vector<uint8_t>{1, 0, 0, 0, 1, 0, 0, 0}).code(), Code::kInvalidArgument);
  EXPECT_EQ(w->Finish(heap, std::vector<uint8_t>{1, 0, 0, 0}).code(), Code::kInvalidArgument);
  EXPECT_TRUE(w->Finish(heap, std::vector<uint8_t>{0xFF, 0, 0, 0, 0, 1, 0, 0}).ok());  // 0x00FF < 0x0100
}

// ---- Damaged trees. Each edits the heap block that holds the BTH header or a record allocation.

class BthCorruptionTest : public ::testing::Test {
 protected:
  // Applies `edit` to the allocation `hid` of a two-level tree and reads it back.
  Status ReadAfter(size_t count, std::function<Hid(const HeapReader&, Hid)> pick,
                   std::function<void(std::span<uint8_t>, Hid)> edit) {
    Built b = Build(store_, count);
    auto heap = HeapReader::Open(store_, b.tree, "node 0x40");
    Hid target = pick(*heap, b.header);
    const size_t len = heap->Get(target).value().size();
    auto blocks = store_.DataBlocks(b.tree).value();
    const auto block = store_.ReadDataBlock(blocks[HidBlockIndex(target)]).value();
    const size_t map = le::Get16(block, 0);
    const size_t at = le::Get16(block, map + 4 + 2 * (HidIndex(target) - 1));
    store_.Tamper(blocks[HidBlockIndex(target)],
                  [=](std::vector<uint8_t>& raw) { edit(std::span<uint8_t>(raw).subspan(at, len), target); });
    auto r = Read(store_, b);
    return r.status();
  }
  static Hid Header(const HeapReader&, Hid header) { return header; }
  static Hid Root(const HeapReader& heap, Hid header) { return le::Get32(heap.Get(header).value(), 4); }
  TamperStore store_;
};

TEST_F(BthCorruptionTest, BadType) {
  EXPECT_TRUE(ReadAfter(10, Header, [](auto b, Hid) { b[0] = 0xB6; }).IsCorruption());
}
TEST_F(BthCorruptionTest, UnsupportedKeySize) {
  EXPECT_TRUE(ReadAfter(10, Header, [](auto b, Hid) { b[1] = 3; }).IsCorruption());
}
TEST_F(BthCorruptionTest, RecordSizeThatDoesNotDivideTheLeaf) {
  EXPECT_TRUE(ReadAfter(10, Header, [](auto b, Hid) { b[2] = 3; }).IsCorruption());
}
TEST_F(BthCorruptionTest, ImplausiblyDeepIndex) {
  EXPECT_TRUE(ReadAfter(10, Header, [](auto b, Hid) { b[3] = 200; }).IsCorruption());
}
TEST_F(BthCorruptionTest, LevelsClaimedBeyondTheRealDepth) {
  // The leaf is read as an index: its data words become HIDs that name nothing or repeat.
  EXPECT_TRUE(ReadAfter(10, Header, [](auto b, Hid) { b[3] = 1; }).IsCorruption());
}
TEST_F(BthCorruptionTest, RootHidNamesNoAllocation) {
  EXPECT_TRUE(ReadAfter(10, Header, [](auto b, Hid) { le::Put32(b, 4, MakeHid(9, 1)); }).IsCorruption());
}
TEST_F(BthCorruptionTest, IndexEntryPointingBackAtItself) {
  Status s = ReadAfter(1000, Root, [](auto b, Hid root) { le::Put32(b, 8 + 4, root); });
  EXPECT_TRUE(s.IsCorruption()) << s.ToString();
}
TEST_F(BthCorruptionTest, IndexEntriesSharingAChild) {
  Status s = ReadAfter(1000, Root, [](auto b, Hid) { le::Put32(b, 8 + 4, le::Get32(b, 4)); });
  EXPECT_TRUE(s.IsCorruption()) << s.ToString();
  EXPECT_NE(s.message().find("reached twice"), std::string::npos) << s.message();
}
TEST_F(BthCorruptionTest, KeysOutOfOrder) {
  Status s = ReadAfter(10, Root, [](auto b, Hid) { le::Put32(b, 8, 1); });  // second key below the first
  EXPECT_TRUE(s.IsCorruption()) << s.ToString();
}
TEST_F(BthCorruptionTest, HeaderAllocationTooShort) {
  TamperStore store;
  HeapWriter heap(kClientSigBth);
  Hid tiny = *heap.Allocate(std::vector<uint8_t>{0xB5, 4, 4});
  Bid tree = *heap.Finish(store);
  auto reader = HeapReader::Open(store, tree, "node");
  EXPECT_TRUE(ReadBth(*reader, tiny).status().IsCorruption());
}

}  // namespace
}  // namespace velmora::pst
