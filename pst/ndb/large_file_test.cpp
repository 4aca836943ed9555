// Big files and outside views: a file grown past 32 MB and its FMap, pffinfo on what we write, and the
// performance target of 100,000 nodes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "fsutil/testing/temp_tree.h"
#include "pst/ndb/map_layout.h"
#include "pst/ndb/test_util.h"

namespace velmora::pst {
namespace {

using testing::Bytes;
using testing::CreateInMemory;
using testing::ExpectCheckPasses;
using testing::Pattern;

// Past 128 AMap sections the header's rgbFM no longer covers the file and FMap pages appear, the first
// after the PMap of section 128.
TEST(LargeFileTest, FileGrownPast32MbHasItsFMap) {
  std::shared_ptr<File> file;
  auto db = CreateInMemory(&file, CryptMethod::kNone);
  std::vector<uint8_t> block(kMaxBlockData, 0x5A);
  const uint64_t target = FileSizeForSections(130);
  Nid nid = MakeNid(kNidTypeNormalMessage, 0x10001);
  while (Bytes(file).size() < target || db->header().file_eof < target) {
    std::vector<Bid> blocks;
    for (int i = 0; i < 500; ++i) {
      auto b = db->WriteDataBlock(block);
      ASSERT_TRUE(b.ok());
      blocks.push_back(*b);
    }
    auto tree = db->WriteDataTree(blocks);
    ASSERT_TRUE(tree.ok());
    ASSERT_TRUE(db->PutNode({nid, *tree, 0, 0}).ok());
    nid += 32;
    ASSERT_TRUE(db->Commit().ok());
  }
  const uint64_t sections = SectionsForFileSize(db->header().file_eof);
  ASSERT_GT(sections, 128u);
  auto& bytes = Bytes(file);
  const uint64_t fmap = SectionOffset(128) + 2 * kPageSize;
  EXPECT_EQ(bytes[SectionOffset(128) + kPageSize + 496], kPageTypePMap);
  EXPECT_EQ(bytes[fmap + 496], kPageTypeFMap);
  EXPECT_EQ(Load64(&bytes[fmap + 504]), fmap);  // map pages carry their own offset as BID
  EXPECT_EQ(db->header().amap_last, SectionOffset(sections - 1));
  ExpectCheckPasses(*file);
}

// pffinfo (libpff) reads what we write. It needs the message store node to show much; at this layer it
// must only not complain.
TEST(IndependentReaderTest, PffinfoAcceptsAnEmptyStore) {
  if (std::system("command -v pffinfo >/dev/null 2>&1") != 0) GTEST_SKIP() << "pffinfo not installed";
  fsutil::testing::TempTree dir;
  std::string path = dir.Path("empty.pst");
  {
    auto f = OpenDiskFile(path, OpenMode::kCreateNew);
    ASSERT_TRUE(f.ok());
    auto db = NodeDatabase::Create(std::shared_ptr<File>(std::move(*f)));
    ASSERT_TRUE(db.ok()) << db.status().ToString();
  }
  std::string out_path = dir.Path("out.txt");
  int rc = std::system(("pffinfo " + path + " > " + out_path + " 2>&1").c_str());
  auto out = testing::ReadWholeFile(out_path);
  std::string text(out.begin(), out.end());
  EXPECT_EQ(rc, 0) << text;
  EXPECT_NE(text.find("Personal Folder File"), std::string::npos) << text;
  EXPECT_NE(text.find("64-bit"), std::string::npos) << text;        // the Unicode format
  EXPECT_NE(text.find("compressible"), std::string::npos) << text;  // NDB_CRYPT_PERMUTE
  EXPECT_EQ(text.find("corrupt"), std::string::npos) << text;
}

// The performance target: 100,000 small nodes with a commit every 2,000, on a real file with fsync.
TEST(PerformanceTest, HundredThousandSmallNodes) {
  fsutil::testing::TempTree dir;
  std::string path = dir.Path("big.pst");
  auto f = OpenDiskFile(path, OpenMode::kCreateNew);
  ASSERT_TRUE(f.ok());
  std::shared_ptr<File> file(std::move(*f));
  auto start = std::chrono::steady_clock::now();
  auto created = NodeDatabase::Create(file);
  ASSERT_TRUE(created.ok());
  auto& db = *created;
  std::vector<uint8_t> payload = Pattern(300, 5);
  uint64_t payload_bytes = 0;
  for (uint32_t i = 0; i < 100000; ++i) {
    auto b = db->WriteDataBlock(payload);
    ASSERT_TRUE(b.ok());
    payload_bytes += payload.size();
    ASSERT_TRUE(db->PutNode({MakeNid(kNidTypeNormalMessage, 0x10001 + i), *b, 0, kNidRootFolder}).ok());
    if (i % 2000 == 1999) {
      ASSERT_TRUE(db->Commit().ok());
    }
  }
  ASSERT_TRUE(db->Commit().ok());
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  uint64_t size = *file->Size();
  std::printf(
      "[ figures  ] 100,000 nodes of %zu bytes, 50 commits: %.2f s, file %llu bytes (%.2fx the payload)\n",
      payload.size(), seconds, static_cast<unsigned long long>(size),
      static_cast<double>(size) / static_cast<double>(payload_bytes));
  EXPECT_LT(seconds, 60.0);
  auto check_start = std::chrono::steady_clock::now();
  ExpectCheckPasses(*file);
  std::printf("[ figures  ] check: %.2f s\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - check_start).count());
  db.reset();
  file.reset();
}

}  // namespace
}  // namespace velmora::pst
