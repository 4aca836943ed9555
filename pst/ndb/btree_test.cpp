// The paged B-tree against a std::map (with a cache far smaller than the tree), copy-on-write flushing,
// and the space map.
#include "pst/ndb/btree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "pst/ndb/ref_counts.h"
#include "pst/ndb/space_map.h"

namespace velmora::pst {
namespace {

// Writes pages to fake places and counts them.
struct FakeDisk {
  uint64_t next = 0x10000;
  std::map<uint64_t, PageBytes> pages;
  BlockTree::AllocPage Alloc() {
    return [this]() -> Result<Bref> {
      next += 512;
      return Bref{next / 512, next};
    };
  }
  BlockTree::WritePage Write() {
    return [this](const Bref& r, const PageBytes& p) {
      pages[r.ib] = p;
      return Status::Ok();
    };
  }
  // Reads a written page back; freed copies are forgotten, so reading one fails.
  template <class Traits>
  typename PageTree<Traits>::ReadPageFn Read() {
    return [this](const Bref& r) -> Result<PageBytes> {
      auto it = pages.find(r.ib);
      if (it == pages.end()) return Status::IoError("no page at " + std::to_string(r.ib));
      PST_RETURN_IF_ERROR(VerifyPage(it->second, Traits::kPageType, r.bid, r.ib));
      return it->second;
    };
  }
  void Forget(const std::vector<Bref>& freed) {
    for (const Bref& r : freed) ASSERT_EQ(pages.erase(r.ib), 1u);
  }
};

void ExpectSameAs(BlockTree& tree, const std::map<uint64_t, uint16_t>& model) {
  auto it = model.begin();
  Status st = tree.ForEach([&](const BbtEntry& e) {
    EXPECT_NE(it, model.end());
    if (it == model.end()) return Status::Ok();
    EXPECT_EQ(e.bid, it->first);
    EXPECT_EQ(e.cb, it->second);
    ++it;
    return Status::Ok();
  });
  EXPECT_TRUE(st.ok()) << st.ToString();
  EXPECT_EQ(it, model.end());
  // Structure: every branch key is its child's first key, all leaves at level 0 (pages read back are
  // checked for it by the tree itself; dirty ones here).
  PageSet seen(uint64_t{1} << 30);  // FakeDisk offsets stay far below
  st = tree.ForEachPage(
      [&](const Bref&, const BlockTree::Page& p) {
        for (size_t i = 0; i < p.kids.size(); ++i) {
          if (!p.kids[i].page) continue;
          EXPECT_EQ(p.keys[i], p.kids[i].page->FirstKey());
          EXPECT_EQ(p.kids[i].page->level + 1, p.level);
          EXPECT_GT(p.kids[i].page->size(), 0u);
        }
        EXPECT_LE(p.size(), p.level ? BlockTree::kBranchMax : BlockTree::kLeafMax);
        return Status::Ok();
      },
      &seen);
  EXPECT_TRUE(st.ok()) << st.ToString();
}

// Flushes every 1,000 changes, forgetting the freed copies: with 8 cached pages for a tree of ~150, every
// lookup and change reads evicted pages back, and a freed copy still referenced would fail the read.
TEST(PageTreeTest, RandomInsertsUpdatesAndErasesMatchAMap) {
  FakeDisk disk;
  BlockTree tree(disk.Read<BbtTraits>(), 8);
  std::map<uint64_t, uint16_t> model;
  std::mt19937 engine(7);
  for (int step = 0; step < 20000; ++step) {
    uint64_t key = 4 * (1 + engine() % 3000);
    if (engine() % 3) {
      uint16_t cb = static_cast<uint16_t>(engine() % 8000);
      auto old = tree.Upsert({key, 0x8000, cb, 2});
      ASSERT_TRUE(old.ok()) << old.status().ToString();
      EXPECT_EQ(old->has_value(), model.count(key) == 1);
      model[key] = cb;
    } else {
      auto gone = tree.Erase(key);
      ASSERT_TRUE(gone.ok()) << gone.status().ToString();
      EXPECT_EQ(gone->has_value(), model.erase(key) == 1);
    }
    if (step % 1000 == 999) {
      ASSERT_TRUE(tree.Flush(disk.Alloc(), disk.Write()).ok());
      disk.Forget(tree.TakeFreed());
      EXPECT_LE(tree.cached_pages(), 8u);
    }
    if (step % 5000 == 4999) ExpectSameAs(tree, model);
  }
  ExpectSameAs(tree, model);
  for (auto [k, cb] : model) {
    auto e = tree.Find(k);
    ASSERT_TRUE(e.ok() && e->has_value());
    EXPECT_EQ((*e)->cb, cb);
  }
  EXPECT_FALSE(tree.Find(2)->has_value());
  for (auto [k, cb] : model) ASSERT_TRUE(tree.Erase(k).ok());
  EXPECT_EQ(tree.levels(), 1);
  ExpectSameAs(tree, {});
}

TEST(PageTreeTest, FlushRewritesOnlyTheChangedPathAndReturnsReplacedCopies) {
  FakeDisk disk;
  BlockTree tree(disk.Read<BbtTraits>());
  for (uint64_t i = 1; i <= 1000; ++i) ASSERT_TRUE(tree.Upsert({4 * i, 0x8000, 10, 2}).ok());
  ASSERT_TRUE(tree.Flush(disk.Alloc(), disk.Write()).ok());
  size_t first = disk.pages.size();
  EXPECT_GT(first, 50u);
  EXPECT_TRUE(tree.TakeFreed().empty());  // nothing was on disk before
  ASSERT_EQ(tree.levels(), 3);
  // One change: the leaf and its two ancestors get new copies, the old ones come back as freed.
  ASSERT_TRUE(tree.Upsert({4 * 500, 0x8000, 11, 2}).ok());
  ASSERT_TRUE(tree.Flush(disk.Alloc(), disk.Write()).ok());
  EXPECT_EQ(disk.pages.size(), first + 3);
  EXPECT_EQ(tree.TakeFreed().size(), 3u);
  // Many changes between flushes still write each page once.
  for (uint64_t i = 1; i <= 20; ++i) ASSERT_TRUE(tree.Upsert({4 * i, 0x8000, 12, 2}).ok());
  size_t before = disk.pages.size();
  ASSERT_TRUE(tree.Flush(disk.Alloc(), disk.Write()).ok());
  EXPECT_EQ(disk.pages.size() - before, tree.TakeFreed().size());
  EXPECT_LE(disk.pages.size() - before, 5u);
  // A flush with nothing changed writes nothing.
  before = disk.pages.size();
  ASSERT_TRUE(tree.Flush(disk.Alloc(), disk.Write()).ok());
  EXPECT_EQ(disk.pages.size(), before);
}

TEST(PageTreeTest, FlushedPagesCarryTheirFooterAndTrailer) {
  FakeDisk disk;
  NodeTree tree(disk.Read<NbtTraits>());
  for (uint32_t i = 1; i <= 40; ++i) ASSERT_TRUE(tree.Upsert({i * 32 + 4, 0, 0, 0}).ok());
  ASSERT_TRUE(tree.Flush(disk.Alloc(),
                         [&](const Bref& r, const PageBytes& p) {
                           EXPECT_TRUE(VerifyPage(p, kPageTypeNbt, r.bid, r.ib).ok());
                           BtFooter f = LoadBtFooter(p);
                           EXPECT_EQ(f.cb_ent, f.level ? 24 : 32);
                           EXPECT_EQ(f.cent_max, f.level ? 20 : 15);
                           return Status::Ok();
                         })
                  .ok());
}

// The check's reference counts: a block referenced more than a byte holds, internal and data BIDs side by
// side, BIDs outside the range, and a BBT spread so wide that only the map counts.
TEST(RefCountsTest, CountsPastOneByteAndOutsideTheDenseRange) {
  for (uint64_t blocks : {3u, 0u}) {
    RefCounts refs;
    refs.Reset(0x104, blocks ? 0x10C : uint64_t{1} << 60, blocks);
    for (int i = 0; i < 300; ++i) refs.Add(0x104);
    refs.Add(0x106);
    refs.Add(0x10C);
    refs.Add(0x4);
    EXPECT_EQ(refs.Count(0x104), 300u);
    EXPECT_EQ(refs.Count(0x106), 1u);
    EXPECT_EQ(refs.Count(0x108), 0u);
    EXPECT_EQ(refs.Count(0x10C), 1u);
    EXPECT_EQ(refs.Count(0x4), 1u);
  }
}

TEST(SpaceMapTest, AllocatesAlignedAndGrowsByWholeSections) {
  SpaceMap map(1);
  EXPECT_EQ(map.FreeBytes(), 0x3E000u - 2 * 512);  // AMap and PMap
  auto page = map.Allocate(512, 512);
  ASSERT_TRUE(page.ok());
  EXPECT_EQ(*page % 512, 0u);
  EXPECT_EQ(*page, 0x4800u);
  auto block = map.Allocate(100, 64);
  ASSERT_TRUE(block.ok());
  EXPECT_EQ(*block, 0x4A00u);
  EXPECT_EQ(map.FreeBytes(), 0x3E000u - 3 * 512 - 128);
  // Fill the section; the next allocation opens a second one.
  while (map.sections() == 1) ASSERT_TRUE(map.Allocate(8192, 64).ok());
  EXPECT_EQ(map.file_size(), FileSizeForSections(2));
  EXPECT_TRUE(map.IsUsed(SectionOffset(1)));  // its AMap
}

TEST(SpaceMapTest, FreedSpaceWaitsForRelease) {
  SpaceMap map(1);
  auto a = map.Allocate(8192, 64);
  ASSERT_TRUE(a.ok());
  while (map.sections() == 1) ASSERT_TRUE(map.Allocate(8192, 64).ok());
  map.FreeLater(*a, 8192);
  // Even with the file full, the held-back space is not handed out: the file grows instead.
  for (int i = 0; i < 40; ++i) {
    auto b = map.Allocate(8192, 64);
    ASSERT_TRUE(b.ok());
    EXPECT_NE(*b, *a);
  }
  map.ReleasePending();
  auto c = map.Allocate(8192, 64);
  ASSERT_TRUE(c.ok());
  EXPECT_EQ(*c, *a);
}

TEST(SpaceMapTest, FindsEveryHoleInAFullFileWhereverItLies) {
  // Three full sections of 64-byte blocks with single free slots around byte and word edges of the bitmap,
  // then one free 512-byte page: after the release each is found in file order, and nothing else is free.
  SpaceMap map(1);
  std::vector<uint64_t> blocks;
  while (map.sections() < 3) {
    auto b = map.Allocate(64, 64);
    ASSERT_TRUE(b.ok());
    blocks.push_back(*b);
  }
  // Slots at the first, last and middle bits of a byte and of a 64-slot word, in different words.
  std::vector<uint64_t> holes;
  uint64_t word = 10;
  for (uint64_t bit : {0, 7, 8, 31, 56, 63}) holes.push_back(kFirstAMapOffset + 64 * (64 * word++ + bit));
  holes.push_back(blocks[5000]);
  for (uint64_t ib : holes) ASSERT_TRUE(std::find(blocks.begin(), blocks.end(), ib) != blocks.end());
  for (uint64_t ib : holes) map.FreeLater(ib, 64);
  const uint64_t page = blocks[7000] / 512 * 512 + 512;
  for (uint64_t ib = page; ib < page + 512; ib += 64) map.FreeLater(ib, 64);
  map.ReleasePending();
  for (uint64_t ib : holes) {
    auto b = map.Allocate(64, 64);
    ASSERT_TRUE(b.ok());
    EXPECT_EQ(*b, ib);
  }
  auto p = map.Allocate(512, 512);
  ASSERT_TRUE(p.ok());
  EXPECT_EQ(*p, page);
  auto next = map.Allocate(64, 64);
  ASSERT_TRUE(next.ok());
  EXPECT_GT(*next, blocks.back());
}

TEST(SpaceMapTest, RefusesDoubleClaimsAndTheHeaderArea) {
  SpaceMap map(1);
  EXPECT_TRUE(map.MarkUsed(0x5000, 128));
  EXPECT_FALSE(map.MarkUsed(0x5040, 64));
  EXPECT_FALSE(map.MarkUsed(0x4000, 64));
  EXPECT_FALSE(map.MarkUsed(FileSizeForSections(1), 64));
  EXPECT_FALSE(map.MarkUsed(0x4400, 64));  // the AMap itself
}

TEST(SpaceMapTest, RespectsTheSizeLimit) {
  SpaceMap map(1, FileSizeForSections(1));
  while (true) {
    auto r = map.Allocate(8192, 64);
    if (!r.ok()) {
      EXPECT_EQ(r.status().code(), Code::kNoSpace);
      break;
    }
  }
}

TEST(SpaceMapTest, LongestFreeRunFeedsTheFMap) {
  SpaceMap map(1);
  EXPECT_EQ(map.LongestFreeRun(0), 255);  // capped
  SpaceMap full(1);
  while (full.sections() == 1) ASSERT_TRUE(full.Allocate(64, 64).ok());
  EXPECT_EQ(full.LongestFreeRun(0), 0);
}

}  // namespace
}  // namespace velmora::pst
