// A contents table whose row matrix grows past 1,021 blocks, where its data tree takes two levels. Rows as
// wide as a table allows (the contents columns and 8-byte columns up to 255) get there with a few thousand
// messages, appended in place across commits. Every reader must count the rows exactly: our own (the store
// reopened, and TempDir's check), pffinfo and pypff, readpst and Microsoft's PST SDK, which walks every row of
// every folder table (pffexport reads as pypff does and writes a file per message: left out for time). The SDK counts a table's rows from the size of its row matrix, so the last block holds
// only its rows: padded to 8,176 bytes it would count a full block and look up rows that do not exist. It
// reports that short last block of a two-level tree, which its harness tells apart (strict_reader.py).
#include <gtest/gtest.h>

#include "pst/content/table_templates.h"
#include "pst/messaging/message_store.h"
#include "pst/ndb/block.h"
#include "pst/ndb/node_database.h"
#include "pst/tags/prop_tags.h"
#include "tests/messages/message_files.h"
#include "tests/support/pst_soundness.h"
#include "tests/support/support.h"

namespace velmora::testing {
namespace {

constexpr size_t kMaxColumns = 255;            // cCols is one byte
constexpr uint16_t kFirstWideColumn = 0x6000;  // user-defined PT_I8 columns, 8 bytes each
constexpr pst::PropTag kI8 = 0x0014;
constexpr int kCommitEvery = 1000;

TEST(TwoLevelTableTest, ARowMatrixPastOneThousandTwentyOneBlocksCountsEveryRow) {
  TempDir dir;
  const std::string path = dir.str() + "/wide.pst";
  int messages = 0;
  size_t per_block = 0, row_size = 0;
  {
    auto file = pst::OpenDiskFile(path, pst::OpenMode::kCreateNew);
    ASSERT_TRUE(file.ok());
    auto db = pst::NodeDatabase::Create(std::shared_ptr<pst::File>(std::move(file).value()));
    auto ms = pst::MessageStore::Create(**db, {"Wide", std::nullopt});
    ASSERT_TRUE(ms.ok() && (*ms)->ValidateIpmTree().ok());
    auto folder = (*ms)->CreateFolder(*(*ms)->IpmSubtree(), "Wide");
    ASSERT_TRUE(folder.ok());
    auto table = (*ms)->MutableContentsTable(*folder, false);
    ASSERT_TRUE(table.ok());
    std::vector<pst::PropTag>& columns = (*table)->columns;
    columns = pst::templates::ContentsColumns();
    for (uint16_t id = kFirstWideColumn; columns.size() < kMaxColumns; ++id)
      columns.push_back(pst::MakeTag(id, kI8));
    auto layout = pst::LayoutTable(columns);
    ASSERT_TRUE(layout.ok());
    row_size = layout->row_size();
    per_block = pst::kMaxBlockData / row_size;
    messages = static_cast<int>((pst::kXBlockMaxEntries + 3) * per_block - 1);  // the last block part full

    for (int i = 0; i < messages; ++i) {
      pst::MessageContent m;
      m.props[pst::TagId(pst::tags::kSubject)] = pst::PropValue::String("Wide row " + std::to_string(i));
      m.props[pst::TagId(pst::tags::kMessageClass)] = pst::PropValue::String("IPM.Note");
      ASSERT_TRUE((*ms)->AddMessage(*folder, m).ok()) << i;
      if ((i + 1) % kCommitEvery == 0) {
        ASSERT_TRUE((*ms)->Commit().ok());
      }
    }
    ASSERT_TRUE((*ms)->Commit().ok());
  }

  {  // our own reading, reopened: every row counted, the last block holding exactly the rows after the others
    StoreToRead opened = OpenStoreToRead(path);
    ASSERT_TRUE(opened.store);
    auto& ms = opened.store;
    auto& db = opened.db;
    auto folder = ms->FindSubFolder(*ms->IpmSubtree(), "Wide");
    ASSERT_TRUE(folder);
    EXPECT_EQ(ms->Folder(*folder)->content_count, messages);
    auto ids = ms->Messages(*folder);
    ASSERT_TRUE(ids.ok()) << ids.status().ToString();
    EXPECT_EQ(ids->size(), static_cast<size_t>(messages));
    auto table = db->FindNode(pst::MakeNid(pst::kNidTypeContentsTable, pst::NidIndexOf(*folder)));
    ASSERT_TRUE(table.ok() && *table);
    size_t largest = 0;
    const std::vector<pst::SubnodeEntry> subnodes = *db->ReadSubnodes((*table)->sub);
    for (const pst::SubnodeEntry& e : subnodes) {
      const std::vector<pst::Bid> blocks = *db->DataBlocks(e.data);
      if (blocks.size() <= largest) continue;
      largest = blocks.size();
      const size_t rows_in_last = static_cast<size_t>(messages) - (blocks.size() - 1) * per_block;
      EXPECT_EQ(db->ReadDataBlock(blocks.back())->size(), rows_in_last * row_size) << "the last block";
    }
    EXPECT_GT(largest, pst::kXBlockMaxEntries) << "the row matrix has two levels";
  }

  EXPECT_EQ(StrictReaderProblems(path), "");
  std::string out;
  if (RunCommand("command -v pffinfo && command -v readpst", &out) != 0)
    GTEST_SKIP() << "readers not installed";
  out.clear();
  EXPECT_EQ(RunCommand("pffinfo " + ShellQuote(path), &out), 0) << out.substr(0, 4000);
  EXPECT_EQ(PypffFolderCounts(path, "Wide"), std::to_string(messages) + "\n");
  TempDir readpst_out;
  out.clear();
  ASSERT_EQ(RunCommand("readpst -j 0 -o " + ShellQuote(readpst_out.str()) + " " + ShellQuote(path), &out), 0)
      << out;
  EXPECT_NE(out.find("\"Wide\" - " + std::to_string(messages) + " items done"), std::string::npos) << out;
}

}  // namespace
}  // namespace velmora::testing
