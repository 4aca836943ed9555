// The file on disk is exact whenever no commit runs [C6], and a writer never builds on a damaged file or
// on bytes past ibFileEof [C7]. The invariants are listed in node_database.h.
#include <gtest/gtest.h>

#include "pst/ndb/btree.h"
#include "pst/ndb/map_layout.h"
#include "pst/ndb/test_util.h"

namespace velmora::pst {
namespace {

using testing::Bytes;
using testing::CreateInMemory;
using testing::ExpectMatchesModel;
using testing::Model;
using testing::ModelNode;
using testing::OpenOrDie;
using testing::Pattern;
using testing::PutModelNode;

uint64_t DurableEof(const std::shared_ptr<File>& file) {
  auto h = ParseHeader(Bytes(file));
  EXPECT_TRUE(h.ok()) << h.status().ToString();
  return h.ok() ? h->file_eof : 0;
}

// What a kill at that instant leaves: the size the header says, every map right, nothing to note; and it
// holds exactly the last commit (compared when `committed` is given).
void ExpectExactFile(const std::shared_ptr<File>& file, const Model* committed, const std::string& when) {
  SCOPED_TRACE(when);
  EXPECT_EQ(Bytes(file).size(), DurableEof(file));
  CheckReport r = CheckFile(*file);
  EXPECT_TRUE(r.ok() && r.notes.empty()) << r.Summary();
  if (!committed) return;
  auto copy = std::make_shared<MemoryFile>(Bytes(file));
  auto db = OpenOrDie(copy, false);
  if (db) ExpectMatchesModel(*db, *committed);
}

// [C1] [C6] A store written past 128 sections (so FMap pages are taken in too), with commits now and then:
// after every growth and at every commit the file is exact, and it grows by more than one section at a time.
TEST(ExactFileTest, BetweenCommitsTheFileIsWhatItsHeaderSays) {
  std::shared_ptr<File> file;
  auto db = CreateInMemory(&file);
  Model committed, building;
  uint64_t eof = DurableEof(file), growths = 0;
  for (uint32_t i = 0; i < 1100; ++i) {
    Nid nid = MakeNid(kNidTypeNormalMessage, 0x10001 + i);
    building[nid] = ModelNode{Pattern(30000 + i, i), kNidRootFolder, {}};
    PutModelNode(*db, nid, building[nid]);
    if (DurableEof(file) != eof) {
      ++growths;
      EXPECT_GE(DurableEof(file) - eof, 8 * kAMapSectionSize);
      eof = DurableEof(file);
      ExpectExactFile(file, nullptr, "growth to " + std::to_string(eof));
    }
    if (i % 150 == 149) {
      ASSERT_TRUE(db->Commit().ok());
      committed = building;
      ExpectExactFile(file, &committed, "commit after node " + std::to_string(i));
    }
    if (HasFailure()) return;
  }
  EXPECT_GT(SectionsForFileSize(eof), kAMapsInHeaderFMap);
  EXPECT_LT(growths, 20u);
}

// [C7] A tail past ibFileEof: the check notes it, a read-only open leaves it, a writable open cuts it off.
TEST(ExactFileTest, AWritableOpenCutsOffATailPastTheEnd) {
  std::shared_ptr<File> file;
  auto db = CreateInMemory(&file);
  Model model;
  model[0x21] = ModelNode{Pattern(20000, 3), kNidRootFolder, {}};
  PutModelNode(*db, 0x21, model[0x21]);
  ASSERT_TRUE(db->Commit().ok());
  db.reset();
  const uint64_t eof = DurableEof(file);
  Bytes(file).resize(eof + 3 * kAMapSectionSize, 0x5A);
  CheckReport r = CheckFile(*file);
  EXPECT_TRUE(r.ok());
  ASSERT_EQ(r.notes.size(), 1u) << r.Summary();
  EXPECT_NE(r.notes[0].find("past ibFileEof"), std::string::npos);
  OpenOrDie(file, false);
  EXPECT_EQ(Bytes(file).size(), eof + 3 * kAMapSectionSize);
  auto writer = OpenOrDie(file, true);
  EXPECT_EQ(Bytes(file).size(), eof);
  ExpectExactFile(file, &model, "after the writable open");
}

// [C7] One flipped byte anywhere the format protects (header, map pages, B-tree pages, blocks and their
// trailers): the writable open is refused with the damage named, and the file stays byte-identical.
TEST(ExactFileTest, AWriterRefusesAFileWithOneDamagedByte) {
  std::shared_ptr<File> file;
  auto db = CreateInMemory(&file);
  for (uint32_t i = 0; i < 40; ++i) {
    ModelNode node{Pattern(100 + i * 500, i), kNidRootFolder, {}};
    if (i % 9 == 0) node.subnodes[MakeNid(kNidTypeAttachment, 0x401)] = Pattern(9000, i);
    PutModelNode(*db, MakeNid(kNidTypeNormalMessage, 0x10001 + i), node);
  }
  ASSERT_TRUE(db->Commit().ok());
  std::vector<uint64_t> offsets;
  for (uint64_t ib = 0; ib < 528; ib += 7) offsets.push_back(ib);  // magic, CRCs and every field they cover
  for (const MapPage& m : MapPagesOfSection(0)) offsets.insert(offsets.end(), {m.ib + 3, m.ib + 505});
  auto page = [&](const Bref& r) { offsets.insert(offsets.end(), {r.ib + 11, r.ib + 497, r.ib + 510}); };
  auto each_page = [&](const Bref& r, const auto&) {
    page(r);
    return Status::Ok();
  };
  ASSERT_TRUE(db->nbt().ForEachPage(each_page).ok());
  ASSERT_TRUE(db->bbt().ForEachPage(each_page).ok());
  std::vector<BbtEntry> blocks;
  ASSERT_TRUE(db->ForEachBlock([&](const BbtEntry& e) {
                  uint64_t end = e.ib + BlockDiskSize(e.cb);
                  offsets.insert(offsets.end(), {e.ib, e.ib + e.cb / 2, end - 16, end - 11, end - 1});
                  blocks.push_back(e);
                  return Status::Ok();
                }).ok());
  db.reset();
  const std::vector<uint8_t> clean = Bytes(file);
  for (uint64_t at : offsets) {
    SCOPED_TRACE("byte at offset " + std::to_string(at));
    std::vector<uint8_t> damaged = clean;
    damaged[at] ^= 0x24;
    auto copy = std::make_shared<MemoryFile>(damaged);
    auto opened = NodeDatabase::Open(copy, true);
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.status().code(), Code::kCorruption);
    EXPECT_TRUE(opened.status().message().ends_with("; not modified")) << opened.status().ToString();
    EXPECT_TRUE(copy->bytes() == damaged);
    if (HasFailure()) return;
  }
  // A block's own bytes: the message names the block, where it is and what is wrong.
  std::vector<uint8_t> damaged = clean;
  damaged[blocks.back().ib + 1] ^= 1;
  auto opened = NodeDatabase::Open(std::make_shared<MemoryFile>(damaged), true);
  EXPECT_EQ(opened.status().message(),
            BlockName(blocks.back().bid, blocks.back().ib) + ": CRC mismatch; not modified");
}

}  // namespace
}  // namespace velmora::pst
