// NodeDatabase end to end: creating, round trips of every tree shape, B-trees of several levels, reference
// counts and space reuse, and a randomized workload against a model across commits and reopens.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>

#include "pst/ndb/data_tree_writer.h"
#include "pst/ndb/map_layout.h"
#include "pst/ndb/test_util.h"

namespace velmora::pst {
namespace {

using testing::Bytes;
using testing::CountBlocks;
using testing::CountNodes;
using testing::CreateInMemory;
using testing::ExpectCheckPasses;
using testing::ExpectMatchesModel;
using testing::Model;
using testing::ModelNode;
using testing::OpenOrDie;
using testing::Pattern;
using testing::PutModelNode;
using testing::ReadData;
using testing::WriteData;

TEST(CreateTest, WritesAnEmptyValidFile) {
  std::shared_ptr<File> file;
  auto db = CreateInMemory(&file);
  ASSERT_TRUE(db);
  auto& bytes = Bytes(file);
  EXPECT_EQ(bytes.size(), 0x4400u + 0x3E000u);  // one AMap section, like a new Outlook file
  const Header& h = db->header();
  EXPECT_EQ(h.version, 23);
  EXPECT_EQ(h.client_version, 19);
  EXPECT_EQ(h.crypt_method, 1);
  EXPECT_EQ(h.amap_valid, kAMapValid2);
  EXPECT_EQ(h.file_eof, bytes.size());
  EXPECT_EQ(h.amap_last, 0x4400u);
  EXPECT_EQ(h.rgnid[kNidTypeNormalFolder], 0x400u);
  EXPECT_EQ(h.rgnid[kNidTypeNormalMessage], 0x10000u);
  EXPECT_EQ(bytes[0x4200 + 496], kPageTypeDList);
  EXPECT_EQ(bytes[0x4400 + 496], kPageTypeAMap);
  EXPECT_EQ(bytes[0x4400], 0xFF);  // the AMap maps itself
  EXPECT_EQ(bytes[0x4600 + 496], kPageTypePMap);
  EXPECT_EQ(bytes[0x4600 + 17], 0xFF);
  // AMap, PMap and the two empty root pages are in use.
  EXPECT_EQ(h.amap_free, 0x3E000u - 4 * 512);
  ExpectCheckPasses(*file);
  auto again = OpenOrDie(file, false);
  ASSERT_TRUE(again);
  EXPECT_EQ(CountNodes(*again), 0u);
  EXPECT_EQ(CountBlocks(*again), 0u);
}

TEST(CreateTest, RefusesAFileThatIsNotEmpty) {
  auto file = std::make_shared<MemoryFile>(std::vector<uint8_t>(10));
  EXPECT_EQ(NodeDatabase::Create(file).status().code(), Code::kInvalidArgument);
}

TEST(CreateTest, CommitWithoutChangesWritesNothing) {
  std::shared_ptr<File> file;
  auto db = CreateInMemory(&file);
  auto before = Bytes(file);
  ASSERT_TRUE(db->Commit().ok());
  EXPECT_EQ(Bytes(file), before);
}

TEST(RoundTripTest, EveryDataTreeShapeAndEncoding) {
  for (CryptMethod crypt : {CryptMethod::kNone, CryptMethod::kPermute, CryptMethod::kCyclic}) {
    std::shared_ptr<File> file;
    auto db = CreateInMemory(&file, crypt);
    ASSERT_TRUE(db);
    Model model;
    // 0 bytes, one byte, one full block, one more than a block, an XBLOCK, and an XXBLOCK (1,022 blocks).
    std::vector<size_t> sizes = {0,
                                 1,
                                 kMaxBlockData,
                                 kMaxBlockData + 1,
                                 5 * kMaxBlockData + 77,
                                 (kXBlockMaxEntries + 1) * kMaxBlockData};
    Nid nid = MakeNid(kNidTypeNormalMessage, 0x10001);
    for (size_t i = 0; i < sizes.size(); ++i, nid += 32) {
      model[nid].data = Pattern(sizes[i], static_cast<uint32_t>(i));
      model[nid].parent = kNidRootFolder;
      PutModelNode(*db, nid, model[nid]);
    }
    ASSERT_TRUE(db->Commit().ok());
    ExpectMatchesModel(*db, model);
    ExpectCheckPasses(*file);
    auto again = OpenOrDie(file, false);
    ASSERT_TRUE(again);
    ExpectMatchesModel(*again, model);
  }
}

TEST(RoundTripTest, SubnodeTreesUpToAnSiBlock) {
  std::shared_ptr<File> file;
  auto db = CreateInMemory(&file);
  Model model;
  Nid nid = MakeNid(kNidTypeNormalMessage, 0x10001);
  for (size_t count : {1u, 340u, 341u, 1000u}) {  // SLBLOCK full at 340; then an SIBLOCK
    ModelNode& node = model[nid];
    for (uint32_t i = 0; i < count; ++i)
      node.subnodes[MakeNid(kNidTypeLtp, 0x400 + i * 3)] = Pattern(i % 50, i);
    PutModelNode(*db, nid, node);
    nid += 32;
  }
  ASSERT_TRUE(db->Commit().ok());
  ExpectCheckPasses(*file);
  auto again = OpenOrDie(file, false);
  ExpectMatchesModel(*again, model);
}

TEST(RoundTripTest, RejectsWhatTheFormatCannotHold) {
  auto db = CreateInMemory();
  EXPECT_EQ(db->WriteDataBlock(std::vector<uint8_t>(kMaxBlockData + 1)).status().code(),
            Code::kInvalidArgument);
  EXPECT_EQ(db->WriteDataTree({}).status().code(), Code::kInvalidArgument);
  auto b = db->WriteDataBlock(std::vector<uint8_t>(4));
  ASSERT_TRUE(b.ok());
  std::vector<SubnodeEntry> dup = {{0x41, *b, 0}, {0x41, *b, 0}};
  EXPECT_EQ(db->WriteSubnodeTree(dup).status().code(), Code::kInvalidArgument);
  EXPECT_EQ(db->PutNode({0x41, 0x7777774, 0, 0}).code(), Code::kNotFound);
  EXPECT_EQ(db->PutNode({0x41, 0, *b, 0}).code(), Code::kInvalidArgument);  // subnodes must be internal
  EXPECT_EQ(db->DeleteNode(0x41).code(), Code::kNotFound);
}

TEST(DataTreeWriterTest, StreamsFullBlocksWhateverTheChunks) {
  std::shared_ptr<File> file;
  auto db = CreateInMemory(&file);
  auto bytes = Pattern(3 * kMaxBlockData + 5, 8);
  DataTreeWriter w(*db);
  for (size_t off = 0; off < bytes.size(); off += 1000)
    ASSERT_TRUE(
        w.Append(std::span<const uint8_t>(bytes).subspan(off, std::min<size_t>(1000, bytes.size() - off)))
            .ok());
  auto tree = w.Finish();
  ASSERT_TRUE(tree.ok());
  auto blocks = db->DataBlocks(*tree);
  ASSERT_TRUE(blocks.ok());
  ASSERT_EQ(blocks->size(), 4u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(db->FindBlock((*blocks)[i])->cb, kMaxBlockData);
  EXPECT_EQ(db->FindBlock((*blocks)[3])->cb, 5);
  EXPECT_EQ(ReadData(*db, *tree), bytes);
  ASSERT_TRUE(db->PutNode({0x21, *tree, 0, 0}).ok());
  ASSERT_TRUE(db->Commit().ok());
  ExpectCheckPasses(*file);
}

TEST(DataTreeWriterTest, AbandonedTreesGiveTheirBlocksBack) {
  auto db = CreateInMemory();
  {
    DataTreeWriter w(*db);
    ASSERT_TRUE(w.Append(Pattern(20000, 1)).ok());
    EXPECT_EQ(CountBlocks(*db), 2u);
  }
  EXPECT_EQ(CountBlocks(*db), 0u);
  DataTreeWriter empty(*db);
  auto none = empty.Finish();
  ASSERT_TRUE(none.ok());
  EXPECT_EQ(*none, 0u);
}

TEST(NidTest, AllocationFollowsOutlooksCounters) {
  std::shared_ptr<File> file;
  auto db = CreateInMemory(&file);
  auto a = db->AllocateNid(kNidTypeNormalFolder);
  auto b = db->AllocateNid(kNidTypeNormalFolder);
  ASSERT_TRUE(a.ok() && b.ok());
  EXPECT_EQ(*a, 0x8022u);  // index 0x401: the first folder Outlook makes in a new file
  EXPECT_EQ(*b, 0x8042u);
  // A node put with a higher index moves the counter past it.
  ASSERT_TRUE(db->PutNode({MakeNid(kNidTypeNormalFolder, 0x500), 0, 0, 0}).ok());
  ASSERT_TRUE(db->Commit().ok());
  auto again = OpenOrDie(file, true);
  auto c = again->AllocateNid(kNidTypeNormalFolder);
  ASSERT_TRUE(c.ok());
  EXPECT_EQ(*c, MakeNid(kNidTypeNormalFolder, 0x501));
  ExpectCheckPasses(*file);
}

// A file whose header counters lag behind its contents (the check flags it) must not get a BID or NID
// handed out twice by a writer.
TEST(NidTest, LaggingCountersAreMovedPastWhatIsInUse) {
  std::shared_ptr<File> file;
  auto db = CreateInMemory(&file);
  Bid data = WriteData(*db, Pattern(50, 1));
  ASSERT_TRUE(db->PutNode({MakeNid(kNidTypeNormalFolder, 0x600), data, 0, 0}).ok());
  ASSERT_TRUE(db->Commit().ok());
  Header h = db->header();
  h.bid_next_b = 4;
  h.rgnid[kNidTypeNormalFolder] = 0x400;
  auto bytes = SerializeHeader(h);
  std::copy(bytes.begin(), bytes.end(), Bytes(file).begin());
  EXPECT_FALSE(CheckFile(*file).ok());
  auto again = OpenOrDie(file, true);
  auto b = again->WriteDataBlock(Pattern(10, 2));
  ASSERT_TRUE(b.ok());
  EXPECT_GT(*b, data);
  auto nid = again->AllocateNid(kNidTypeNormalFolder);
  ASSERT_TRUE(nid.ok());
  EXPECT_EQ(*nid, MakeNid(kNidTypeNormalFolder, 0x601));
}

TEST(BTreeDepthTest, ThousandsOfNodesAndBlocksMakeThreeLevels) {
  std::shared_ptr<File> file;
  auto db = CreateInMemory(&file);
  Model model;
  // Insert in a scattered order so pages split in the middle as well as at the edge.
  std::vector<uint32_t> order(6000);
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(42));
  for (uint32_t i : order) {
    Nid nid = MakeNid(kNidTypeNormalMessage, 0x10001 + i);
    model[nid] = {Pattern(16 + i % 40, i), kNidRootFolder, {}};
    PutModelNode(*db, nid, model[nid]);
    if (i % 1000 == 999) {
      ASSERT_TRUE(db->Commit().ok());
    }
  }
  ASSERT_TRUE(db->Commit().ok());
  EXPECT_GE(db->nbt().levels(), 3);
  EXPECT_GE(db->bbt().levels(), 3);
  ExpectCheckPasses(*file);
  auto again = OpenOrDie(file, true);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->nbt().levels(), db->nbt().levels());
  ExpectMatchesModel(*again, model);
  // Deleting most of them shrinks the trees again and the file still checks.
  for (uint32_t i = 0; i < 5900; ++i) {
    Nid nid = MakeNid(kNidTypeNormalMessage, 0x10001 + order[i]);
    ASSERT_TRUE(again->DeleteNode(nid).ok());
    model.erase(nid);
  }
  ASSERT_TRUE(again->Commit().ok());
  ExpectMatchesModel(*again, model);
  ExpectCheckPasses(*file);
}

TEST(BTreeDepthTest, KeyOrderLoadsPackPagesFull) {
  auto db = CreateInMemory();
  for (uint32_t i = 0; i < 1500; ++i) {
    auto b = db->WriteDataBlock(std::vector<uint8_t>(8));
    ASSERT_TRUE(b.ok());
    ASSERT_TRUE(db->PutNode({MakeNid(kNidTypeNormalMessage, 0x10001 + i), *b, 0, kNidRootFolder}).ok());
  }
  ASSERT_TRUE(db->Commit().ok());
  size_t leaves = 0;
  ASSERT_TRUE(db->nbt()
                  .ForEachPage([&](const Bref&, const NodeTree::Page& p) {
                    leaves += p.level == 0;
                    return Status::Ok();
                  })
                  .ok());
  EXPECT_EQ(leaves, (1500 + 14) / 15);  // 15 NBT entries per leaf, all full but the last
}

// Trees several times larger than the page cache (about 2,500 NBT and 1,500 BBT pages against 512 cached
// per tree): built across commits, reopened, searched, changed, committed again; every lookup that
// reaches an evicted page reads it back, and the file checks and reads back equal to the model throughout.
TEST(BTreeDepthTest, TreesLargerThanThePageCacheSurviveReopenAndChange) {
  std::shared_ptr<File> file;
  auto db = CreateInMemory(&file);
  Model model;
  std::vector<uint32_t> order(30000);
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(5));
  for (uint32_t i : order) {
    Nid nid = MakeNid(kNidTypeNormalMessage, 0x10001 + i);
    model[nid] = {Pattern(8 + i % 24, i), kNidRootFolder, {}};
    PutModelNode(*db, nid, model[nid]);
    if (i % 7000 == 0) {
      ASSERT_TRUE(db->Commit().ok());
    }
  }
  ASSERT_TRUE(db->Commit().ok());
  EXPECT_LE(db->nbt().cached_pages(), NodeTree::kCachePages);
  EXPECT_LE(db->bbt().cached_pages(), BlockTree::kCachePages);
  db.reset();
  ExpectCheckPasses(*file);
  auto again = OpenOrDie(file, true);
  ASSERT_TRUE(again);
  ExpectMatchesModel(*again, model);
  // Scattered changes: every third node goes, every seventh gets new data.
  for (uint32_t k = 0; k < order.size(); ++k) {
    Nid nid = MakeNid(kNidTypeNormalMessage, 0x10001 + order[k]);
    if (k % 3 == 0) {
      ASSERT_TRUE(again->DeleteNode(nid).ok());
      model.erase(nid);
    } else if (k % 7 == 0) {
      model[nid].data = Pattern(40, k);
      PutModelNode(*again, nid, model[nid]);
    }
  }
  ASSERT_TRUE(again->Commit().ok());
  ExpectCheckPasses(*file);
  again.reset();
  auto third = OpenOrDie(file, false);
  ASSERT_TRUE(third);
  ExpectMatchesModel(*third, model);
}

// A block's cRef counts its references plus one; the space of a freed block is reused only after the
// next commit [C2].
TEST(ReferenceTest, SharedTreesLiveUntilTheLastReferenceGoes) {
  std::shared_ptr<File> file;
  auto db = CreateInMemory(&file);
  Bid shared = WriteData(*db, Pattern(3 * kMaxBlockData, 1));  // an XBLOCK over three blocks
  ASSERT_TRUE(db->AddRef(shared).ok());
  ASSERT_TRUE(db->PutNode({0x6001, shared, 0, 0}).ok());
  ASSERT_TRUE(db->PutNode({0x6021, shared, 0, 0}).ok());
  ASSERT_TRUE(db->Commit().ok());
  EXPECT_EQ(db->FindBlock(shared)->cref, 3);
  ExpectCheckPasses(*file);
  ASSERT_TRUE(db->DeleteNode(0x6001).ok());
  EXPECT_EQ(db->FindBlock(shared)->cref, 2);
  auto children = db->DataBlocks(shared);
  ASSERT_TRUE(children.ok());
  ASSERT_TRUE(db->DeleteNode(0x6021).ok());
  EXPECT_FALSE(db->FindBlock(shared).has_value());
  for (Bid c : *children) EXPECT_FALSE(db->FindBlock(c).has_value());
  ASSERT_TRUE(db->Commit().ok());
  ExpectCheckPasses(*file);
}

TEST(ReferenceTest, FreedSpaceIsReusedOnlyAfterTheNextCommit) {
  std::shared_ptr<File> file;
  auto db = CreateInMemory(&file);
  Bid victim = WriteData(*db, Pattern(1000, 9));
  ASSERT_TRUE(db->PutNode({0x6001, victim, 0, 0}).ok());
  ASSERT_TRUE(db->Commit().ok());
  const Ib freed = db->FindBlock(victim)->ib;
  ASSERT_TRUE(db->DeleteNode(0x6001).ok());
  // Before the commit the freed slots stay taken, however much we write.
  std::set<Ib> used;
  for (int i = 0; i < 300; ++i) {
    auto b = db->WriteDataBlock(Pattern(1000, i));
    ASSERT_TRUE(b.ok());
    used.insert(db->FindBlock(*b)->ib);
    ASSERT_TRUE(db->PutNode({MakeNid(kNidTypeLtp, 0x400 + i), *b, 0, 0}).ok());
  }
  EXPECT_FALSE(used.count(freed));
  ASSERT_TRUE(db->Commit().ok());
  // After it, the allocator comes round to them again.
  bool reused = false;
  for (int i = 0; i < 600 && !reused; ++i) {
    auto b = db->WriteDataBlock(Pattern(1000, i));
    ASSERT_TRUE(b.ok());
    reused = db->FindBlock(*b)->ib == freed;
    ASSERT_TRUE(db->PutNode({MakeNid(kNidTypeLtp, 0x1000 + i), *b, 0, 0}).ok());
  }
  EXPECT_TRUE(reused);
  ASSERT_TRUE(db->Commit().ok());
  ExpectCheckPasses(*file);
}

TEST(ReferenceTest, ReleasingASubnodeTreeFreesNestedTrees) {
  auto db = CreateInMemory();
  Bid inner_data = WriteData(*db, Pattern(20000, 3));
  auto inner = db->WriteSubnodeTree(std::vector<SubnodeEntry>{{0x3f, inner_data, 0}});
  ASSERT_TRUE(inner.ok());
  Bid outer_data = WriteData(*db, Pattern(10, 4));
  auto outer = db->WriteSubnodeTree(std::vector<SubnodeEntry>{{0x25, outer_data, *inner}});
  ASSERT_TRUE(outer.ok());
  size_t before = CountBlocks(*db);
  EXPECT_EQ(before, 7u);  // 3 data blocks + XBLOCK + SLBLOCK, 1 data block + SLBLOCK
  ASSERT_TRUE(db->Release(*outer).ok());
  EXPECT_EQ(CountBlocks(*db), 0u);
}

TEST(ReferenceTest, ReplacingANodeReleasesItsOldTrees) {
  std::shared_ptr<File> file;
  auto db = CreateInMemory(&file);
  Bid first = WriteData(*db, Pattern(100, 1));
  ASSERT_TRUE(db->PutNode({0x21, first, 0, 0}).ok());
  Bid second = WriteData(*db, Pattern(100, 2));
  ASSERT_TRUE(db->PutNode({0x21, second, 0, 0}).ok());
  EXPECT_FALSE(db->FindBlock(first).has_value());
  ASSERT_TRUE(db->Commit().ok());
  ExpectCheckPasses(*file);
}

// The randomized workload: puts, replaces, deletes, shared trees and subnodes, with commits and reopens,
// always compared with a model.
TEST(WorkloadTest, RandomOperationsMatchAModelAcrossCommitsAndReopen) {
  std::shared_ptr<File> file;
  auto db = CreateInMemory(&file);
  Model model;
  std::mt19937 engine(20261207);
  auto rng = [&engine] { return static_cast<uint32_t>(engine()); };
  auto pick_size = [&] {
    int r = static_cast<int>(rng() % 100);
    if (r < 60) return static_cast<size_t>(rng() % 600);
    if (r < 95) return static_cast<size_t>(rng() % 30000);
    return static_cast<size_t>(rng() % 200000);
  };
  for (int round = 0; round < 12; ++round) {
    for (int op = 0; op < 150; ++op) {
      int kind = static_cast<int>(rng() % 10);
      if (kind < 6 || model.empty()) {
        Nid nid = MakeNid(kNidTypeNormalMessage, 0x10001 + rng() % 800);
        ModelNode node{Pattern(pick_size(), static_cast<uint32_t>(rng())), kNidRootFolder, {}};
        if (rng() % 4 == 0)
          for (int s = 0, n = static_cast<int>(rng() % 5) + 1; s < n; ++s)
            node.subnodes[MakeNid(kNidTypeAttachment, 0x400 + rng() % 50)] = Pattern(rng() % 9000, s);
        PutModelNode(*db, nid, node);
        model[nid] = node;
      } else if (kind < 9) {
        auto it = std::next(model.begin(), static_cast<long>(rng() % model.size()));
        ASSERT_TRUE(db->DeleteNode(it->first).ok());
        model.erase(it);
      } else {
        // A second node sharing the data tree of an existing one.
        auto it = std::next(model.begin(), static_cast<long>(rng() % model.size()));
        auto src = db->FindNode(it->first);
        ASSERT_TRUE(src.ok() && src->has_value());
        Nid twin = MakeNid(kNidTypeAssocMessage, 0x8001 + rng() % 200);
        if (model.count(twin) || !(*src)->data) continue;
        ASSERT_TRUE(db->AddRef((*src)->data).ok());
        ASSERT_TRUE(db->PutNode({twin, (*src)->data, 0, kNidRootFolder}).ok());
        model[twin] = {it->second.data, kNidRootFolder, {}};
      }
    }
    ASSERT_TRUE(db->Commit().ok());
    ExpectCheckPasses(*file);
    if (round % 3 == 2) {
      db = OpenOrDie(file, true);
      ASSERT_TRUE(db);
    }
    ExpectMatchesModel(*db, model);
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace velmora::pst
