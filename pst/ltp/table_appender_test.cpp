// Rows appended in place to a table on the real node database, across commits: the table reads back whole
// and in order, the file passes the full check (references, full blocks, maps) after every commit, and
// tables or rows that cannot go in place are refused.
#include "pst/ltp/table_appender.h"

#include <gtest/gtest.h>

#include "pst/ltp/ltp_test_util.h"
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

class TableAppenderTest : public ::testing::Test {
 protected:
  void SetUp() override { db_ = std::move(NodeDatabase::Create(file_)).value(); }
  void PutTable(size_t rows) {
    Table t;
    t.columns = {kTagLtpRowId, kTagLtpRowVer, kFlags, kSubject, kBody};
    for (size_t i = 0; i < rows; ++i) t.rows.push_back(Row(i));
    auto out = WriteTableContext(*db_, t);
    ASSERT_TRUE(out.ok()) << out.status().ToString();
    Bid sub = *db_->WriteSubnodeTree(out->subnodes);
    ASSERT_TRUE(db_->PutNode({kTable, out->data, sub, 0}).ok());
  }
  Result<std::unique_ptr<TableAppender>> Open() { return TableAppender::Open(*db_, **db_->FindNode(kTable)); }
  void ExpectRows(size_t rows) {
    const NodeEntry e = **db_->FindNode(kTable);
    auto t = ReadTableContext(*db_, e.data, *db_->ReadSubnodes(e.sub));
    ASSERT_TRUE(t.ok()) << t.status().ToString();
    ASSERT_EQ(t->rows.size(), rows);
    for (size_t i = 0; i < rows; ++i) {
      const TableRow want = Row(i);
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
