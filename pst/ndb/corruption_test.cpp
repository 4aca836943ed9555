// Damaged files: one test per kind of damage. Each must give Status::Corruption naming the page or block
// and its offset, on open or on the read that meets it, never a crash; and the check must report it.
#include <gtest/gtest.h>

#include <cstdio>

#include "pst/ndb/crc.h"
#include "pst/ndb/test_util.h"

namespace velmora::pst {
namespace {

class CorruptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::shared_ptr<File> file;
    auto db = testing::CreateInMemory(&file);
    ASSERT_TRUE(db);
    for (uint32_t i = 0; i < 400; ++i) {  // two NBT levels
      Bid data = testing::WriteData(*db, testing::Pattern(i == 7 ? 20000 : 100, i));
      ASSERT_TRUE(db->PutNode({MakeNid(kNidTypeNormalMessage, 0x10001 + i), data, 0, kNidRootFolder}).ok());
    }
    ASSERT_TRUE(db->Commit().ok());
    header_ = db->header();
    ASSERT_GE(db->nbt().levels(), 2);
    image_ = static_cast<MemoryFile&>(*file).bytes();
    auto node = db->FindNode(MakeNid(kNidTypeNormalMessage, 0x10001 + 3));
    ASSERT_TRUE(node.ok() && node->has_value());
    block_ = *db->FindBlock((*node)->data);
  }

  // Re-seals a page after a change so only the intended damage remains.
  void Reseal(uint64_t ib) {
    uint8_t* p = image_.data() + ib;
    Store32(p + 500, Crc32({p, kPageDataSize}));
    uint8_t ptype = p[496];
    if (ptype == kPageTypeNbt || ptype == kPageTypeBbt) Store16(p + 498, ComputeSig(ib, Load64(p + 504)));
  }
  void RewriteHeader(const Header& h) {
    auto bytes = SerializeHeader(h);
    std::copy(bytes.begin(), bytes.end(), image_.begin());
  }

  Status OpenStatus() { return NodeDatabase::Open(std::make_shared<MemoryFile>(image_), false).status(); }
  // A read-only open checks the header and the roots; the other pages are checked as reads meet them, so
  // this opens and then reads every node and its data.
  Status OpenAndReadAll() {
    auto db = NodeDatabase::Open(std::make_shared<MemoryFile>(image_), false);
    if (!db.ok()) return db.status();
    return (*db)->ForEachNode([&](const NodeEntry& e) -> Status {
      auto blocks = (*db)->DataBlocks(e.data);
      if (!blocks.ok()) return blocks.status();
      for (Bid b : *blocks) PST_RETURN_IF_ERROR((*db)->ReadDataBlock(b).status());
      return Status::Ok();
    });
  }
  // The reader meets the damage; a writable open refuses the file (its whole check finds it).
  void ExpectCorruption(const std::string& must_mention) {
    Status s = OpenAndReadAll();
    EXPECT_TRUE(s.IsCorruption()) << s.ToString();
    EXPECT_NE(s.message().find(must_mention), std::string::npos) << s.ToString();
    Status w = NodeDatabase::Open(std::make_shared<MemoryFile>(image_), true).status();
    EXPECT_TRUE(w.IsCorruption()) << w.ToString();
    MemoryFile f(image_);
    EXPECT_FALSE(CheckFile(f).ok());
  }
  Ib LeafHoldingBlock(Bid bid) {
    auto db = NodeDatabase::Open(std::make_shared<MemoryFile>(image_), false);
    EXPECT_TRUE(db.ok());
    Ib leaf = 0;
    Status st = (*db)->bbt().ForEachPage([&](const Bref& ref, const BlockTree::Page& p) {
      for (const auto& e : p.entries)
        if (e.bid == bid) leaf = ref.ib;
      return Status::Ok();
    });
    EXPECT_TRUE(st.ok()) << st.ToString();
    return leaf;
  }
  // Reading the damaged block must fail, naming it.
  void ExpectBlockCorruption() {
    auto db = NodeDatabase::Open(std::make_shared<MemoryFile>(image_), false);
    ASSERT_TRUE(db.ok()) << db.status().ToString();
    auto r = (*db)->ReadDataBlock(block_.bid);
    EXPECT_TRUE(r.status().IsCorruption()) << r.status().ToString();
    EXPECT_NE(r.status().message().find(Hex(block_.ib)), std::string::npos) << r.status().ToString();
    EXPECT_NE(r.status().message().find(Hex(block_.bid)), std::string::npos) << r.status().ToString();
    MemoryFile f(image_);
    EXPECT_FALSE(CheckFile(f).ok());
  }

  std::vector<uint8_t> image_;
  Header header_;
  BbtEntry block_;
};

TEST_F(CorruptionTest, Intact) {
  EXPECT_TRUE(OpenStatus().ok());
  testing::ExpectCheckPasses(*std::make_shared<MemoryFile>(image_));
}

TEST_F(CorruptionTest, HeaderCrc) {
  image_[100] ^= 0x10;
  ExpectCorruption("offset 4");
}

TEST_F(CorruptionTest, TruncatedFile) {
  image_.resize(image_.size() - 512);
  ExpectCorruption("truncated");
}

TEST_F(CorruptionTest, FileEofOffTheSectionGrid) {
  Header h = header_;
  h.file_eof += 64;
  RewriteHeader(h);
  ExpectCorruption("offset 184");
}

TEST_F(CorruptionTest, PageCrc) {
  image_[header_.nbt.ib + 3] ^= 1;
  ExpectCorruption("NBT page BID " + Hex(header_.nbt.bid) + " at offset " + Hex(header_.nbt.ib) + ": CRC");
}

TEST_F(CorruptionTest, WrongPageType) {
  image_[header_.bbt.ib + 496] = kPageTypeNbt;
  image_[header_.bbt.ib + 497] = kPageTypeNbt;
  ExpectCorruption("at offset " + Hex(header_.bbt.ib) + ": page type");
}

TEST_F(CorruptionTest, PageBidDiffersFromTheReference) {
  Header h = header_;
  h.nbt.bid += 1;
  RewriteHeader(h);
  ExpectCorruption("trailer BID");
}

TEST_F(CorruptionTest, BrefPointsOutsideTheFile) {
  Header h = header_;
  h.nbt.ib = h.file_eof + 0x10000;
  RewriteHeader(h);
  ExpectCorruption("outside the file");
}

TEST_F(CorruptionTest, ChildPageFarPastTheFileIsRefusedWithoutGrowingTheWalk) {
  // A branch entry's offset near 2^50: the whole-tree walk must refuse the page, not size its visited set
  // by the offset.
  uint8_t* root = image_.data() + header_.nbt.ib;
  ASSERT_GE(root[491], 1);
  Store64(root + 24 + 16, uint64_t{1} << 50);
  Reseal(header_.nbt.ib);
  ExpectCorruption("outside the file");
}

TEST_F(CorruptionTest, BrefNotAligned) {
  Header h = header_;
  h.bbt.ib += 64;
  RewriteHeader(h);
  ExpectCorruption("aligned");
}

TEST_F(CorruptionTest, CycleInTheBTree) {
  // The NBT root is a branch: point its second child at its first. A reader finds the child's keys outside
  // the range the parent gives; the whole walk of a writable open finds the page reached twice.
  uint8_t* root = image_.data() + header_.nbt.ib;
  ASSERT_GE(root[491], 1);
  std::copy(root + 8, root + 24, root + 24 + 8);
  Reseal(header_.nbt.ib);
  ExpectCorruption("is not the key");
  Status w = NodeDatabase::Open(std::make_shared<MemoryFile>(image_), true).status();
  EXPECT_NE(w.message().find("cycle"), std::string::npos) << w.ToString();
}

// A page met only by a later lookup: the open succeeds, the lookup names the page and its offset, and
// the database stays failed for every later call, including lookups the damage does not touch.
TEST_F(CorruptionTest, DamagedLeafMetByALaterLookupFailsTheDatabase) {
  Ib leaf = 0;
  {
    auto db = NodeDatabase::Open(std::make_shared<MemoryFile>(image_), false);
    ASSERT_TRUE(db.ok());
    Status st = (*db)->nbt().ForEachPage([&](const Bref& ref, const NodeTree::Page& p) {
      for (const auto& e : p.entries)
        if (e.nid == MakeNid(kNidTypeNormalMessage, 0x10001 + 300)) leaf = ref.ib;
      return Status::Ok();
    });
    ASSERT_TRUE(st.ok());
  }
  ASSERT_NE(leaf, 0u);
  image_[leaf + 40] ^= 0x04;
  auto db = NodeDatabase::Open(std::make_shared<MemoryFile>(image_), false);
  ASSERT_TRUE(db.ok()) << db.status().ToString();
  ASSERT_TRUE((*db)->FindNode(MakeNid(kNidTypeNormalMessage, 0x10001 + 3)).ok());
  auto hit = (*db)->FindNode(MakeNid(kNidTypeNormalMessage, 0x10001 + 300));
  EXPECT_TRUE(hit.status().IsCorruption()) << hit.status().ToString();
  EXPECT_NE(hit.status().message().find("at offset " + Hex(leaf) + ": CRC"), std::string::npos)
      << hit.status().ToString();
  auto after = (*db)->FindNode(MakeNid(kNidTypeNormalMessage, 0x10001 + 3));
  EXPECT_EQ(after.status().message(), hit.status().message());
}

TEST_F(CorruptionTest, KeysOutOfOrder) {
  uint8_t* root = image_.data() + header_.nbt.ib;
  Store64(root + 24, Load64(root) - 32);  // second key below the first
  Reseal(header_.nbt.ib);
  ExpectCorruption("out of order");
}

TEST_F(CorruptionTest, LevelsDoNotStepDown) {
  uint8_t* root = image_.data() + header_.nbt.ib;
  root[491] += 1;
  Reseal(header_.nbt.ib);
  ExpectCorruption("cLevel");
}

TEST_F(CorruptionTest, BlockCrc) {
  image_[block_.ib + 1] ^= 0xFF;
  ExpectBlockCorruption();
}

TEST_F(CorruptionTest, BlockTrailerSize) {
  uint8_t* t = image_.data() + block_.ib + BlockDiskSize(block_.cb) - kBlockTrailerSize;
  Store16(t, static_cast<uint16_t>(block_.cb - 1));
  ExpectBlockCorruption();
}

TEST_F(CorruptionTest, BlockTrailerBid) {
  uint8_t* t = image_.data() + block_.ib + BlockDiskSize(block_.cb) - kBlockTrailerSize;
  Store64(t + 8, block_.bid + 4);
  ExpectBlockCorruption();
}

TEST_F(CorruptionTest, BlockOutsideTheFile) {
  // Rewrite the BBT entry of the block to point past the end.
  Ib leaf = LeafHoldingBlock(block_.bid);
  ASSERT_NE(leaf, 0u);
  for (size_t i = 0; i < 20; ++i) {
    uint8_t* e = image_.data() + leaf + 24 * i;
    if (Load64(e) == block_.bid) Store64(e + 8, header_.file_eof + 0x1000);
  }
  Reseal(leaf);
  ExpectCorruption(Hex(block_.bid));
}

TEST_F(CorruptionTest, AMapDisagreesWithTheTrees) {
  image_[0x4400 + 100] ^= 0x01;
  Reseal(0x4400);
  Store32(image_.data() + 0x4400 + 500, Crc32({image_.data() + 0x4400, kPageDataSize}));
  EXPECT_TRUE(OpenStatus().ok());  // readers do not need the maps
  MemoryFile f(image_);
  CheckReport r = CheckFile(f);
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.errors[0].find("AMap page at offset 0x4400"), std::string::npos) << r.Summary();
}

TEST_F(CorruptionTest, WrongReferenceCount) {
  Ib leaf = LeafHoldingBlock(block_.bid);
  ASSERT_NE(leaf, 0u);
  for (size_t i = 0; i < 20; ++i) {
    uint8_t* e = image_.data() + leaf + 24 * i;
    if (Load64(e) == block_.bid) Store16(e + 18, 5);
  }
  Reseal(leaf);
  MemoryFile f(image_);
  CheckReport r = CheckFile(f);
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.Summary().find("cRef 5 but 1 references"), std::string::npos) << r.Summary();
}

TEST_F(CorruptionTest, UnknownEncoding) {
  Header h = header_;
  h.crypt_method = 7;
  RewriteHeader(h);
  ExpectCorruption("offset 513");
}

// Readers locate a node's bytes at offset / 8,176: a data tree whose non-final block is short is an error
// that names the block and its offset.
TEST(ShortBlockTest, ANonFinalDataBlockShorterThan8176BytesIsAnError) {
  std::shared_ptr<File> file;
  auto db = testing::CreateInMemory(&file);
  ASSERT_TRUE(db);
  Bid first = *db->WriteDataBlock(testing::Pattern(5000, 1));
  Bid second = *db->WriteDataBlock(testing::Pattern(3000, 2));
  std::vector<Bid> blocks = {first, second};
  Bid tree = *db->WriteDataTree(blocks);
  ASSERT_TRUE(db->PutNode({MakeNid(kNidTypeNormalMessage, 0x10001), tree, 0, kNidRootFolder}).ok());
  ASSERT_TRUE(db->Commit().ok());
  CheckReport r = CheckFile(*file);
  ASSERT_EQ(r.errors.size(), 1u) << r.Summary();
  EXPECT_NE(r.errors[0].find("holds 5000 bytes"), std::string::npos) << r.Summary();
  EXPECT_NE(r.errors[0].find(Hex(db->FindBlock(first)->ib)), std::string::npos) << r.Summary();
}

}  // namespace
}  // namespace velmora::pst
