// Rows appended in place to a table on the real node database, across commits: the table reads back whole
// and in order, the file passes the full check (references, full blocks, maps) after every commit, and
// tables or rows that cannot go in place are refused.
#include "pst/ltp/table_appender.h"

#include <gtest/gtest.h>

#include "pst/ltp/ltp_test_util.h"
#include "pst/ndb/block.h"
#include "pst/ndb/check.h"
#include "pst/ndb/file.h"
#include "pst/ndb/node_database.h"

namespace velmora::pst {
namespace {

using testing::Pattern;

constexpr PropTag kSubject = 0x0037001F;
constexpr PropTag kFlags = 0x0E070003;
constexpr PropTag kBody = 0x10000102;
constexpr Nid kTable = 0x808E;

TableRow Row(size_t i) {
  TableRow r;
  r.row_id = static_cast<uint32_t>(0x200004 + 0x20 * i);
  r.cells[kFlags] = PropValue::Int32(static_cast<int32_t>(i));
  r.cells[kSubject] = PropValue::String("Subject of row " + std::to_string(i));
  if (i % 97 == 0) r.cells[kBody] = PropValue::Binary(Pattern(5000, i));  // a cell in a subnode
  return r;
}

// A row whose 3,000-byte cell fills a good part of a heap block: two rows a block.
TableRow HeavyRow(size_t i) {
  TableRow r = Row(i);
  r.cells[kBody] = PropValue::Binary(Pattern(3000, i));
  return r;
}

class TableAppenderTest : public ::testing::Test {
 protected:
  void SetUp() override { db_ = std::move(NodeDatabase::Create(file_)).value(); }
  void PutTable(size_t rows, TableRow (*row)(size_t) = Row) {
    Table t;
    t.columns = {kTagLtpRowId, kTagLtpRowVer, kFlags, kSubject, kBody};
    for (size_t i = 0; i < rows; ++i) t.rows.push_back(row(i));
    auto out = WriteTableContext(*db_, t);
    ASSERT_TRUE(out.ok()) << out.status().ToString();
    Bid sub = *db_->WriteSubnodeTree(out->subnodes);
    ASSERT_TRUE(db_->PutNode({kTable, out->data, sub, 0}).ok());
  }
  Result<std::unique_ptr<TableAppender>> Open() { return TableAppender::Open(*db_, **db_->FindNode(kTable)); }
  void ExpectRows(size_t rows, TableRow (*row)(size_t) = Row) {
    const NodeEntry e = **db_->FindNode(kTable);
    auto t = ReadTableContext(*db_, e.data, *db_->ReadSubnodes(e.sub));
    ASSERT_TRUE(t.ok()) << t.status().ToString();
    ASSERT_EQ(t->rows.size(), rows);
    for (size_t i = 0; i < rows; ++i) {
      const TableRow want = row(i);
      ASSERT_EQ(t->rows[i].row_id, want.row_id) << i;
      for (const auto& [tag, v] : want.cells) ASSERT_EQ(t->rows[i].cells.at(tag).bytes, v.bytes) << i;
    }
  }
  std::shared_ptr<MemoryFile> file_ = std::make_shared<MemoryFile>();
  std::unique_ptr<NodeDatabase> db_;
};

// 200 rows written whole, then 2,000 appended in five commits: the row index outgrows one leaf (447
// records) and gets an index level, the heap and row matrix span many blocks, some cells go to subnodes.
TEST_F(TableAppenderTest, RowsAppendedAcrossCommitsReadBackAndTheFileStaysSound) {
  PutTable(200);
  ASSERT_TRUE(db_->Commit().ok());
  size_t rows = 200;
  for (int commit = 0; commit < 5; ++commit) {
    auto appender = Open();  // a fresh appender for some commits, as after reopening a store
    ASSERT_TRUE(appender.ok()) << appender.status().ToString();
    EXPECT_EQ((*appender)->row_count(), rows);
    for (size_t k = 0; k < 400; ++k, ++rows) ASSERT_TRUE((*appender)->Append(Row(rows)).ok()) << rows;
    ASSERT_TRUE((*appender)->Flush().ok());
    ASSERT_TRUE(db_->Commit().ok());
    CheckReport report = CheckFile(*file_);
    ASSERT_TRUE(report.ok()) << "after commit " << commit << ": " << report.Summary();
    ExpectRows(rows);
  }
  EXPECT_GT(db_->DataBlocks(db_->FindNode(kTable).value()->data)->size(), 8u) << "heap spans bitmap headers";
}

// A heap past 1,021 blocks has a two-level data tree, where every block must be full, the last one too:
// written whole, grown across that size by appending, and appended to again after it.
TEST_F(TableAppenderTest, AHeapOfTwoLevelsHasFullBlocksToTheLast) {
  auto heap_blocks = [&] {
    const std::vector<Bid> bids = db_->DataBlocks(db_->FindNode(kTable).value()->data).value();
    std::vector<size_t> sizes;
    for (Bid bid : bids) sizes.push_back(db_->ReadDataBlock(bid).value().size());
    return sizes;
  };
  PutTable(1900, HeavyRow);
  ASSERT_LE(heap_blocks().size(), kXBlockMaxEntries);
  EXPECT_LT(heap_blocks().back(), kMaxBlockData) << "a one-level heap keeps its short last block";
  size_t rows = 1900;
  for (size_t batch : {300, 7}) {
    auto appender = Open();
    ASSERT_TRUE(appender.ok()) << appender.status().ToString();
    for (size_t k = 0; k < batch; ++k, ++rows) ASSERT_TRUE((*appender)->Append(HeavyRow(rows)).ok()) << rows;
    ASSERT_TRUE((*appender)->Flush().ok());
    ASSERT_TRUE(db_->Commit().ok());
    const std::vector<size_t> sizes = heap_blocks();
    ASSERT_GT(sizes.size(), kXBlockMaxEntries);
    for (size_t i = 0; i < sizes.size(); ++i) ASSERT_EQ(sizes[i], kMaxBlockData) << "heap block " << i;
    CheckReport report = CheckFile(*file_);
    ASSERT_TRUE(report.ok()) << report.Summary();
    ExpectRows(rows, HeavyRow);
  }
}

// Rows rewritten in place, over two commits and two appenders: fixed cells, a string kept, grown past its
// allocation, dropped, a value moved into a subnode and out of one; rows in an old block, in the last block
// and in blocks appended since the last flush. The table reads back as the rows say, the file stays sound.
TEST_F(TableAppenderTest, RowsRewrittenInPlaceReadBackAndTheFileStaysSound) {
  PutTable(600);
  ASSERT_TRUE(db_->Commit().ok());
  std::vector<TableRow> want;
  for (size_t i = 0; i < 600; ++i) want.push_back(Row(i));
  auto change = [&](TableAppender& t, size_t i, int variant) {
    TableRow& r = want[i];
    r.cells[kFlags] = PropValue::Int32(variant * 1000 + static_cast<int32_t>(i));
    if (variant == 1) r.cells[kSubject] = PropValue::String(std::string(300 + i % 50, 'x'));
    if (variant == 2) r.cells.erase(kSubject);
    if (variant == 3) r.cells[kBody] = PropValue::Binary(Pattern(i % 2 ? 6000 : 40, i + 7));
    ASSERT_TRUE(t.Update(r).ok()) << i;
  };
  for (int round = 0; round < 2; ++round) {
    auto appender = Open();
    ASSERT_TRUE(appender.ok()) << appender.status().ToString();
    TableAppender& t = **appender;
    for (size_t i = 0; i < 200; ++i) want.push_back(Row(want.size()));
    for (size_t i = want.size() - 200; i < want.size(); ++i) ASSERT_TRUE(t.Append(want[i]).ok()) << i;
    for (size_t i : {size_t{0}, size_t{1}, size_t{97}, size_t{194}, size_t{300}, size_t{599},
                     want.size() - 150, want.size() - 1})
      change(t, i, static_cast<int>((i + round) % 4));
    change(t, 97, 0);  // twice before one flush
    EXPECT_EQ(t.Update(Row(100000)).code(), Code::kNotFound);
    ASSERT_TRUE(t.Flush().ok());
    ASSERT_TRUE(db_->Commit().ok());
    CheckReport report = CheckFile(*file_);
    ASSERT_TRUE(report.ok()) << "round " << round << ": " << report.Summary();
    const NodeEntry e = **db_->FindNode(kTable);
    auto read = ReadTableContext(*db_, e.data, *db_->ReadSubnodes(e.sub));
    ASSERT_TRUE(read.ok()) << read.status().ToString();
    ASSERT_EQ(read->rows.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
      const TableRow& got = read->rows[i];
      ASSERT_EQ(got.row_id, want[i].row_id) << i;
      ASSERT_EQ(got.cells.size(), want[i].cells.size() + 2) << i << ": the cells and row id and version";
      for (const auto& [tag, v] : want[i].cells) ASSERT_EQ(got.cells.at(tag).bytes, v.bytes) << i;
    }
  }
}

TEST_F(TableAppenderTest, TablesAndRowsThatCannotGoInPlaceAreRefused) {
  PutTable(5);  // the row matrix still sits in the heap
  EXPECT_EQ(Open().status().code(), Code::kUnsupported);
  PutTable(200);
  auto appender = Open();
  ASSERT_TRUE(appender.ok()) << appender.status().ToString();
  EXPECT_EQ((*appender)->last_row_id(), Row(199).row_id);
  EXPECT_EQ((*appender)->Append(Row(199)).code(), Code::kInvalidArgument) << "not above the last row";
  EXPECT_FALSE((*appender)->dirty());
}

}  // namespace
}  // namespace velmora::pst
