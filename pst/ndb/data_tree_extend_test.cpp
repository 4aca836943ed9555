// A data tree grown at its end (ExtendDataTree) over many commits, as an appended table's trees are: it
// goes from an XBLOCK to an XXBLOCK and across XBLOCK boundaries, is cut back inside an earlier XBLOCK,
// and is extended while another node shares it. After each commit the check counts every reference
// against cRef, and the blocks kept since the start still hold the count they were written with.
#include <gtest/gtest.h>

#include <vector>

#include "pst/ndb/block.h"
#include "pst/ndb/test_util.h"

namespace velmora::pst {
namespace {

using testing::Pattern;

constexpr Nid kNode = 0x21;                    // NID_TYPE_INTERNAL nodes, private to this test
constexpr Nid kSharing = 0x41;                 // a second node holding the same tree
constexpr size_t kBlockBytes = kMaxBlockData;  // every block but the last of a tree is full

class DataTreeExtendTest : public ::testing::Test {
 protected:
  void SetUp() override { db_ = testing::CreateInMemory(&file_); }

  Bid NewBlock() {
    auto b = db_->WriteDataBlock(Pattern(kBlockBytes, static_cast<uint32_t>(written_++)));
    EXPECT_TRUE(b.ok());
    return *b;
  }
  // Replaces the node's tree by its first `kept` blocks and `add` new ones, the way a table's writer does:
  // it takes the node's reference, then hands the new tree back.
  void Extend(size_t kept, size_t add) {
    std::vector<Bid> added;
    for (size_t i = 0; i < add; ++i) added.push_back(NewBlock());
    const NodeEntry node = **db_->FindNode(kNode);
    ASSERT_TRUE(db_->AddRef(node.data).ok());
    ASSERT_TRUE(db_->DeleteNode(kNode).ok());
    auto tree = db_->ExtendDataTree(node.data, kept, added);
    ASSERT_TRUE(tree.ok()) << tree.status().ToString();
    ASSERT_TRUE(db_->PutNode({kNode, *tree, 0, 0}).ok());
    blocks_.resize(kept);
    blocks_.insert(blocks_.end(), added.begin(), added.end());
  }
  void CommitAndCheck(const std::string& when) {
    ASSERT_TRUE(db_->Commit().ok());
    CheckReport report = CheckFile(*file_);
    ASSERT_TRUE(report.ok()) << when << ": " << report.Summary();
    const Bid tree = db_->FindNode(kNode).value()->data;
    ASSERT_EQ(*db_->DataBlocks(tree), blocks_) << when;
    ASSERT_EQ(*db_->DataTreeSize(tree), blocks_.size() * kBlockBytes) << when;
  }

  std::shared_ptr<File> file_;
  std::unique_ptr<NodeDatabase> db_;
  std::vector<Bid> blocks_;
  size_t written_ = 0;
};

TEST_F(DataTreeExtendTest, GrowsAndShrinksWithExactReferencesAndKeptBlocksUntouched) {
  for (size_t i = 0; i < 1000; ++i) blocks_.push_back(NewBlock());
  ASSERT_TRUE(db_->PutNode({kNode, *db_->WriteDataTree(blocks_), 0, 0}).ok());
  CommitAndCheck("start");
  const Bid first = blocks_.front();

  // The last block replaced and seven added per round: past one XBLOCK (1,021 blocks) into a third one.
  for (int round = 0; round < 150; ++round) {
    Extend(blocks_.size() - 1, 8);
    if (round % 25 == 24) CommitAndCheck("round " + std::to_string(round));
  }
  ASSERT_GT(blocks_.size(), 2 * kXBlockMaxEntries);
  EXPECT_EQ(db_->FindBlock(first)->cref, 2) << "a kept block was counted again";

  // Cut back inside the second XBLOCK: the third goes, the second is split.
  Extend(kXBlockMaxEntries + 100, 3);
  CommitAndCheck("cut inside the second XBLOCK");
  // Exactly at an XBLOCK boundary, nothing added.
  Extend(kXBlockMaxEntries, 0);
  CommitAndCheck("cut at the first XBLOCK's end");

  // Shared with another node: that node keeps the old tree, this one grows.
  const NodeEntry node = **db_->FindNode(kNode);
  ASSERT_TRUE(db_->AddRef(node.data).ok());
  ASSERT_TRUE(db_->PutNode({kSharing, node.data, 0, 0}).ok());
  const std::vector<Bid> shared = blocks_;
  Extend(blocks_.size() - 2, 5);
  CommitAndCheck("extended while shared");
  EXPECT_EQ(*db_->DataBlocks(db_->FindNode(kSharing).value()->data), shared);
  EXPECT_EQ(db_->FindBlock(first)->cref, 3) << "held by both trees";
}

}  // namespace
}  // namespace velmora::pst
