// The four Outlook-made files in the shared folder: they open, every node's data and subnode trees read,
// and they pass the check. The tests skip when the shared folder is absent.
#include <gtest/gtest.h>

#include "pst/ndb/test_util.h"

namespace velmora::pst {
namespace {

using testing::ReadData;
using testing::ReadWholeFile;
using testing::SamplePath;

class SampleFileTest : public ::testing::TestWithParam<const char*> {
 protected:
  std::shared_ptr<MemoryFile> Load() {
    std::string path = SamplePath(GetParam());
    if (path.empty()) return nullptr;
    return std::make_shared<MemoryFile>(ReadWholeFile(path));
  }
};

TEST_P(SampleFileTest, OpensAndReadsEveryTree) {
  auto file = Load();
  if (!file) GTEST_SKIP() << "VELMORA_SHARED sample-pst/" << GetParam() << " not available";
  auto db = NodeDatabase::Open(file, false);
  ASSERT_TRUE(db.ok()) << db.status().ToString();
  EXPECT_EQ((*db)->header().version, 23);
  EXPECT_EQ((*db)->header().crypt_method, 1);
  size_t nodes = 0, with_data = 0, subnodes = 0;
  Status st = (*db)->ForEachNode([&](const NodeEntry& e) {
    ++nodes;
    if (e.data) {
      ++with_data;
      ReadData(**db, e.data);
    }
    if (e.sub) {
      auto subs = (*db)->ReadSubnodes(e.sub);
      EXPECT_TRUE(subs.ok()) << subs.status().ToString();
      if (subs.ok())
        for (const auto& s : *subs) {
          ++subnodes;
          if (s.data) ReadData(**db, s.data);
        }
    }
    return Status::Ok();
  });
  ASSERT_TRUE(st.ok()) << st.ToString();
  EXPECT_GT(nodes, 25u);
  EXPECT_GT(with_data, 10u);
  // The message store node decodes to a heap-on-node: bSig 0xEC at offset 2, bClientSig 0xBC (a property
  // context). A wrong permutation table would not give these bytes.
  auto store = (*db)->FindNode(kNidMessageStore);
  ASSERT_TRUE(store.ok() && store->has_value());
  auto bytes = ReadData(**db, (*store)->data);
  ASSERT_GT(bytes.size(), 12u);
  EXPECT_EQ(bytes[2], 0xEC);
  EXPECT_EQ(bytes[3], 0xBC);
}

TEST_P(SampleFileTest, PassesCheck) {
  auto file = Load();
  if (!file) GTEST_SKIP() << "VELMORA_SHARED sample-pst/" << GetParam() << " not available";
  CheckReport r = CheckFile(*file);
  EXPECT_TRUE(r.ok()) << r.Summary();
  EXPECT_GT(r.blocks, 40u);
}

TEST_P(SampleFileTest, ReadOnlyOpenNeverWrites) {
  auto file = Load();
  if (!file) GTEST_SKIP() << "sample not available";
  std::vector<uint8_t> before = file->bytes();
  auto db = NodeDatabase::Open(file, false);
  ASSERT_TRUE(db.ok());
  EXPECT_EQ((*db)->WriteDataBlock(std::vector<uint8_t>(10)).status().code(), Code::kInvalidArgument);
  EXPECT_FALSE((*db)->Commit().ok());
  EXPECT_EQ(file->bytes(), before);
}

// Adding to an Outlook file: the new nodes read back, the old ones are untouched, the file passes the
// check (cRef, maps, counters), and reopening shows the same.
TEST_P(SampleFileTest, AcceptsNewNodesAndStaysValid) {
  auto file = Load();
  if (!file) GTEST_SKIP() << "sample not available";
  auto db = testing::OpenOrDie(file, true);
  ASSERT_TRUE(db);
  size_t before = testing::CountNodes(*db);
  auto nid = db->AllocateNid(kNidTypeNormalMessage);
  ASSERT_TRUE(nid.ok());
  auto payload = testing::Pattern(20000, 7);
  Bid data = testing::WriteData(*db, payload);
  ASSERT_TRUE(db->PutNode({*nid, data, 0, kNidRootFolder}).ok());
  ASSERT_TRUE(db->Commit().ok());
  testing::ExpectCheckPasses(*file);
  auto again = testing::OpenOrDie(file, false);
  ASSERT_TRUE(again);
  EXPECT_EQ(testing::CountNodes(*again), before + 1);
  auto found = again->FindNode(*nid);
  ASSERT_TRUE(found.ok() && found->has_value());
  EXPECT_EQ(ReadData(*again, (*found)->data), payload);
}

INSTANTIATE_TEST_SUITE_P(Outlook, SampleFileTest,
                         ::testing::Values("pstsdk-sample1.pst", "pstsdk-submessage.pst",
                                           "rubymsg-attachAndInline.pst", "javalibpst-dist-list.pst"),
                         [](const ::testing::TestParamInfo<const char*>& param_info) {
                           std::string n = param_info.param;
                           for (char& c : n)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

}  // namespace
}  // namespace velmora::pst
