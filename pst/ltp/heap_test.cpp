#include "pst/ltp/heap.h"

#include <gtest/gtest.h>

#include "pst/ltp/le_bytes.h"
#include "pst/ltp/ltp_test_util.h"

namespace velmora::pst {
namespace {

using testing::Pattern;
using testing::TamperStore;

std::vector<std::vector<uint8_t>> Blocks(NodeStore& store, Bid tree) {
  std::vector<std::vector<uint8_t>> out;
  auto bids = store.DataBlocks(tree);
  if (!bids.ok()) return out;
  for (Bid b : bids.value()) out.push_back(store.ReadDataBlock(b).value());
  return out;
}

uint8_t Nibble(const std::vector<uint8_t>& b, size_t at, size_t k) {
  return static_cast<uint8_t>(k % 2 == 0 ? b[at + k / 2] & 0x0F : b[at + k / 2] >> 4);
}

TEST(HeapTest, FirstAllocationsGetOutlooksHidsAndHeaderFields) {
  TamperStore store;
  HeapWriter w(kClientSigPropertyContext);
  EXPECT_EQ(*w.Allocate(Pattern(8)), 0x20u);
  EXPECT_EQ(*w.Allocate(Pattern(3)), 0x40u);
  EXPECT_EQ(*w.Allocate({}), 0x60u);
  w.SetUserRoot(0x20);
  Bid tree = *w.Finish(store);
  auto blocks = Blocks(store, tree);
  ASSERT_EQ(blocks.size(), 1u);
  const auto& b = blocks[0];
  // 12-byte HNHDR, 8 + 3 + 0 bytes of allocations, one pad byte, then cAlloc 3, cFree 0, offsets 12, 20,
  // 23, 23.
  EXPECT_EQ(le::Get16(b, 0), 24u);
  EXPECT_EQ(b[2], 0xEC);
  EXPECT_EQ(b[3], 0xBC);
  EXPECT_EQ(le::Get32(b, 4), 0x20u);
  EXPECT_EQ(b.size(), 24u + 4 + 2 * 4);
  EXPECT_EQ(le::Get16(b, 24), 3u);
  EXPECT_EQ(le::Get16(b, 26), 0u);
  EXPECT_EQ(le::Get16(b, 28), 12u);
  EXPECT_EQ(le::Get16(b, 34), 23u);

  auto r = HeapReader::Open(store, tree, "node 0x21");
  ASSERT_TRUE(r.ok()) << r.status().ToString();
  EXPECT_EQ(r->client_sig(), 0xBC);
  EXPECT_EQ(r->user_root(), 0x20u);
  auto a = r->Get(0x40);
  ASSERT_TRUE(a.ok());
  EXPECT_EQ(std::vector<uint8_t>(a->begin(), a->end()), Pattern(3));
  EXPECT_TRUE(r->Get(0x60)->empty());
}

TEST(HeapTest, AllocationSizeLimitIs3580Bytes) {
  HeapWriter w(kClientSigPropertyContext);
  EXPECT_TRUE(w.Allocate(Pattern(3580)).ok());
  auto too_big = w.Allocate(Pattern(3581));
  EXPECT_EQ(too_big.status().code(), Code::kInvalidArgument);
}

// Heaps of 2, 3, 130 and 300 blocks of two ~3,000-byte allocations each (blocks 8, 136 and 264 carry
// HNBITMAPHDR), held whole or streamed: every block but the last is exactly 8,176 bytes with its page map at
// the very end, the free space lies between the last allocation and the page map, the fill levels grade that
// space, and every allocation reads back. Streamed, only block 0, the current block and a bitmap block whose
// 128 blocks are not all closed wait for Finish.
TEST(HeapTest, FullBlocksWithPageMapAtTheEndAndHonestFillLevels) {
  constexpr size_t kCounts[] = {2, 3, 130, 300};
  for (size_t run = 0; run < 2 * std::size(kCounts); ++run) {
    const size_t block_count = kCounts[run % std::size(kCounts)];
    const bool streamed = run >= std::size(kCounts);
    SCOPED_TRACE(std::to_string(block_count) + (streamed ? " blocks streamed" : " blocks"));
    TamperStore store;
    HeapWriter w(kClientSigTableContext, streamed ? &store : nullptr);
    std::vector<Hid> hids;
    for (size_t i = 0; i < 2 * block_count; ++i) hids.push_back(*w.Allocate(Pattern(3000 + i % 7, i)));
    ASSERT_EQ(w.block_count(), block_count);
    EXPECT_EQ(HidBlockIndex(hids.back()), block_count - 1);
    EXPECT_EQ(HidIndex(hids.back()), 2u);
    const size_t held = block_count < 130 ? 2 : 3;  // block 0, bitmap block 8 or 264, the last
    EXPECT_EQ(store.live_blocks(), streamed ? block_count - held : 0);
    Bid tree = *w.Finish(store);
    auto blocks = Blocks(store, tree);
    ASSERT_EQ(blocks.size(), block_count);

    std::vector<size_t> free_bytes;
    for (size_t i = 0; i < blocks.size(); ++i) {
      const auto& b = blocks[i];
      const size_t map_at = le::Get16(b, 0);
      const size_t count = le::Get16(b, map_at);
      EXPECT_EQ(map_at % 2, 0u) << i;
      EXPECT_EQ(map_at + 4 + 2 * (count + 1), b.size()) << "page map is the last item of block " << i;
      if (i + 1 < blocks.size()) {
        EXPECT_EQ(b.size(), kMaxBlockData) << "block " << i << " is short";
      }
      const size_t end_of_last = le::Get16(b, map_at + 4 + 2 * count);
      free_bytes.push_back(kMaxBlockData - b.size() + map_at - end_of_last);
    }
    // Every block's fill level is recorded by exactly one header: block 0 for 0..7, block 8 for 8..135, ...
    auto expected_level = [&](size_t i) {
      return free_bytes[i] >= 2048 ? 2 : free_bytes[i] >= 1792 ? 3 : 99;  // two ~3,000-byte allocations
    };
    for (size_t i = 0; i < 8; ++i)
      EXPECT_EQ(Nibble(blocks[0], 8, i), i < blocks.size() ? expected_level(i) : 0) << i;
    for (size_t first = 8; first < blocks.size(); first += 128) {
      EXPECT_EQ(le::Get16(blocks[first], le::Get16(blocks[first], 0) + 4), 66u)
          << "first allocation after HNBITMAPHDR";
      for (size_t k = 0; k < 128; ++k)
        EXPECT_EQ(Nibble(blocks[first], 2, k), first + k < blocks.size() ? expected_level(first + k) : 0)
            << first + k;
    }

    auto r = HeapReader::Open(store, tree, "node 0x8082");
    ASSERT_TRUE(r.ok()) << r.status().ToString();
    for (size_t i = 0; i < hids.size(); ++i) {
      auto a = r->Get(hids[i]);
      ASSERT_TRUE(a.ok()) << i;
      ASSERT_EQ(std::vector<uint8_t>(a->begin(), a->end()), Pattern(3000 + i % 7, i)) << i;
    }
  }
}

TEST(HeapTest, OverwriteKeepsTheSizeOfTheAllocation) {
  HeapWriter w(kClientSigPropertyContext);
  Hid hid = *w.Reserve(4);
  EXPECT_TRUE(w.Overwrite(hid, Pattern(4)).ok());
  EXPECT_EQ(w.Overwrite(hid, Pattern(5)).code(), Code::kInvalidArgument);
  EXPECT_EQ(w.Overwrite(0x40, Pattern(4)).code(), Code::kInvalidArgument);
}

// Streamed: a reserved allocation keeps its block in memory until it is overwritten, an allocation in a
// block already written can no longer change, and a heap never finished gives its blocks back.
TEST(HeapTest, StreamedBlocksWaitForTheirReservationsAndGoBackWhenAbandoned) {
  TamperStore store;
  {
    HeapWriter w(kClientSigTableContext, &store);
    (void)*w.Allocate(Pattern(3000));
    const Hid first = *w.Allocate(Pattern(3000));                     // block 0
    const Hid reserved = *w.Reserve(3000);                            // block 1
    for (int i = 0; i < 7; ++i) (void)*w.Allocate(Pattern(3000, i));  // blocks 1 to 4
    ASSERT_EQ(w.block_count(), 5u);
    EXPECT_EQ(store.live_blocks(), 2u) << "blocks 2 and 3; 0, 1 (reserved) and 4 (current) wait";
    ASSERT_TRUE(w.Overwrite(reserved, Pattern(3000, 9)).ok());
    EXPECT_EQ(store.live_blocks(), 3u);
    EXPECT_EQ(w.Overwrite(reserved, Pattern(3000)).code(), Code::kInvalidArgument);
    EXPECT_TRUE(w.Overwrite(first, Pattern(3000, 5)).ok()) << "block 0 waits for Finish";
    auto tree = w.Finish(store);
    ASSERT_TRUE(tree.ok()) << tree.status().ToString();
    auto r = HeapReader::Open(store, *tree, "node 0x8082");
    ASSERT_TRUE(r.ok()) << r.status().ToString();
    EXPECT_EQ(std::vector<uint8_t>(r->Get(reserved)->begin(), r->Get(reserved)->end()), Pattern(3000, 9));
    EXPECT_EQ(std::vector<uint8_t>(r->Get(first)->begin(), r->Get(first)->end()), Pattern(3000, 5));
    ASSERT_TRUE(store.Release(*tree).ok());
  }
  EXPECT_EQ(store.live_blocks(), 0u);
  {
    HeapWriter w(kClientSigTableContext, &store);
    for (int i = 0; i < 20; ++i) (void)*w.Allocate(Pattern(3000, i));
    EXPECT_GT(store.live_blocks(), 0u);
  }
  EXPECT_EQ(store.live_blocks(), 0u) << "an abandoned heap leaves no blocks behind";
}

TEST(HeapTest, ManyEmptyAllocationsStopAtTheHidIndexLimit) {
  TamperStore store;
  HeapWriter w(kClientSigPropertyContext);
  Hid last = 0;
  for (size_t i = 0; i < 2100; ++i) last = *w.Allocate({});
  EXPECT_EQ(HidBlockIndex(last), 1u);
  EXPECT_EQ(HidIndex(last), 2100u - kMaxAllocationsPerBlock);
  auto r = HeapReader::Open(store, *w.Finish(store), "node");
  ASSERT_TRUE(r.ok());
  EXPECT_TRUE(r->Get(last).ok());
}

// ---- Damaged heaps: every one is Corruption naming the node, never a crash.

class HeapCorruptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HeapWriter w(kClientSigPropertyContext);
    for (int i = 0; i < 5; ++i) (void)*w.Allocate(Pattern(2000, static_cast<uint64_t>(i)));
    w.SetUserRoot(0x20);
    tree_ = *w.Finish(store_);
    blocks_ = *store_.DataBlocks(tree_);
    ASSERT_EQ(blocks_.size(), 2u);
  }
  Status OpenAfter(size_t block, TamperStore::Edit edit) {
    store_.Tamper(blocks_[block], std::move(edit));
    auto r = HeapReader::Open(store_, tree_, "node 0x1234");
    return r.status();
  }
  static void ExpectCorruption(const Status& s) {
    EXPECT_TRUE(s.IsCorruption()) << s.ToString();
    EXPECT_NE(s.message().find("node 0x1234"), std::string::npos) << s.message();
  }
  TamperStore store_;
  Bid tree_ = 0;
  std::vector<Bid> blocks_;
};

TEST_F(HeapCorruptionTest, BadSignature) {
  ExpectCorruption(OpenAfter(0, [](auto& b) { b[2] = 0xED; }));
}
TEST_F(HeapCorruptionTest, FirstBlockShorterThanItsHeader) {
  ExpectCorruption(OpenAfter(0, [](auto& b) { b.resize(7); }));
}
TEST_F(HeapCorruptionTest, PageMapOffsetPastTheEnd) {
  ExpectCorruption(OpenAfter(1, [](auto& b) { le::Put16(b, 0, static_cast<uint16_t>(b.size() - 2)); }));
}
TEST_F(HeapCorruptionTest, PageMapOffsetInsideTheHeader) {
  ExpectCorruption(OpenAfter(0, [](auto& b) { le::Put16(b, 0, 4); }));
}
TEST_F(HeapCorruptionTest, AllocationCountRunsPastTheBlock) {
  ExpectCorruption(OpenAfter(0, [](auto& b) { le::Put16(b, le::Get16(b, 0), 0xFFFF); }));
}
TEST_F(HeapCorruptionTest, AllocationOffsetsOutOfOrder) {
  ExpectCorruption(OpenAfter(0, [](auto& b) {
    size_t map = le::Get16(b, 0);
    le::Put16(b, map + 6, 11);  // second offset before the first
  }));
}
TEST_F(HeapCorruptionTest, AllocationEndsInsideThePageMap) {
  ExpectCorruption(OpenAfter(1, [](auto& b) {
    size_t map = le::Get16(b, 0);
    size_t count = le::Get16(b, map);
    le::Put16(b, map + 4 + 2 * count, static_cast<uint16_t>(map + 2));
  }));
}
TEST_F(HeapCorruptionTest, HidsThatNameNoAllocation) {
  auto r = HeapReader::Open(store_, tree_, "node 0x1234");
  ASSERT_TRUE(r.ok());
  for (Hid bad : {Hid{0}, Hid{0x21}, MakeHid(0, 5), MakeHid(2, 1), MakeHid(1, 3), MakeHid(0, 2047)}) {
    auto s = r->Get(bad).status();
    EXPECT_TRUE(s.IsCorruption()) << Hex(bad);
    EXPECT_NE(s.message().find(Hex(bad)), std::string::npos) << s.message();
  }
}

}  // namespace
}  // namespace velmora::pst
