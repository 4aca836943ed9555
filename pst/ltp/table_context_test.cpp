#include "pst/ltp/table_context.h"

#include <gtest/gtest.h>

#include "pst/ltp/bth.h"
#include "pst/ltp/heap.h"
#include "pst/ltp/le_bytes.h"
#include "pst/ltp/ltp_test_util.h"
#include "pst/ltp/table_layout.h"

namespace velmora::pst {
namespace {

using testing::Pattern;
using testing::TamperStore;

constexpr PropTag kSubject = 0x0037001F;
constexpr PropTag kFlags = 0x0E070003;
constexpr PropTag kDelivery = 0x0E060040;
constexpr PropTag kToMe = 0x0057000B;
constexpr PropTag kImportance16 = 0x00170002;
constexpr PropTag kBody = 0x10000102;

// Columns of Outlook's hierarchy table template (node 0x60D) in iBit order, as the sample files hold them.
const std::vector<PropTag> kHierarchyColumns = {0x67F20003, 0x67F30003, 0x3001001F, 0x36020003, 0x36030003,
                                                0x360A000B, 0x0E300102, 0x0E330014, 0x0E340102, 0x0E380003,
                                                0x3613001F, 0x66350003, 0x66360003};

Table MakeTable(size_t rows) {
  Table t;
  t.columns = {kTagLtpRowId, kTagLtpRowVer, kFlags, kSubject, kDelivery, kToMe, kImportance16, kBody};
  for (size_t i = 0; i < rows; ++i) {
    TableRow r;
    r.row_id = static_cast<uint32_t>(0x200004 + 0x20 * ((i * 7919) % rows));  // ids not in row order
    r.cells[kFlags] = PropValue::Int32(static_cast<int32_t>(i));
    if (i % 2 == 0) r.cells[kSubject] = PropValue::String("Subject " + std::to_string(i));
    if (i % 3 == 0) r.cells[kDelivery] = PropValue::Time(1000 + i);
    if (i % 5 != 0) r.cells[kToMe] = PropValue::Bool(i % 2 == 1);
    if (i % 7 == 0) r.cells[kImportance16] = PropValue::Int16(static_cast<int16_t>(i));
    if (i == 3) r.cells[kBody] = PropValue::Binary(Pattern(10000));
    if (i == 4) r.cells[kBody] = PropValue::Binary({});
    t.rows.push_back(std::move(r));
  }
  return t;
}

// Every cell written comes back, plus the row-id and row-version cells; nothing else.
void ExpectSameRows(const Table& want, const Table& got) {
  ASSERT_EQ(got.rows.size(), want.rows.size());
  for (size_t i = 0; i < want.rows.size(); ++i) {
    const TableRow& w = want.rows[i];
    const TableRow& g = got.rows[i];
    ASSERT_EQ(g.row_id, w.row_id) << i;
    EXPECT_EQ(g.cells.at(kTagLtpRowId).AsInt32(), static_cast<int32_t>(w.row_id));
    EXPECT_TRUE(g.cells.contains(kTagLtpRowVer));
    EXPECT_EQ(g.cells.size(), w.cells.size() + (w.cells.contains(kTagLtpRowVer) ? 1 : 2)) << i;
    for (const auto& [tag, v] : w.cells) {
      auto it = g.cells.find(tag);
      ASSERT_NE(it, g.cells.end()) << i << " " << Hex(tag);
      EXPECT_EQ(it->second.type, v.type);
      ASSERT_EQ(it->second.bytes, v.bytes) << i << " " << Hex(tag);
    }
  }
}

Result<Table> RoundTrip(TamperStore& store, const Table& t, HeapOutput* out = nullptr) {
  PST_ASSIGN_OR_RETURN(HeapOutput written, WriteTableContext(store, t));
  if (out) *out = written;
  return ReadTableContext(store, written.data, written.subnodes);
}

// sample_files_test.cpp checks the layout of every table in the Outlook samples; this one runs without them.
TEST(TableLayoutTest, HierarchyTemplateMatchesOutlook) {
  auto layout = LayoutTable(kHierarchyColumns);
  ASSERT_TRUE(layout.ok());
  EXPECT_EQ(layout->rgib, (std::array<uint16_t, 4>{52, 52, 53, 55}));
  // {tag, ibData, cbData, iBit} exactly as node 0x60D of an Outlook 2010 file stores them.
  const std::vector<std::array<uint32_t, 4>> outlook = {
      {0x0E300102, 20, 4, 6},  {0x0E330014, 24, 8, 7},  {0x0E340102, 32, 4, 8},  {0x0E380003, 36, 4, 9},
      {0x3001001F, 8, 4, 2},   {0x36020003, 12, 4, 3},  {0x36030003, 16, 4, 4},  {0x360A000B, 52, 1, 5},
      {0x3613001F, 40, 4, 10}, {0x66350003, 44, 4, 11}, {0x66360003, 48, 4, 12}, {0x67F20003, 0, 4, 0},
      {0x67F30003, 4, 4, 1}};
  ASSERT_EQ(layout->columns.size(), outlook.size());
  for (size_t i = 0; i < outlook.size(); ++i) {
    const TableColumn& c = layout->columns[i];
    EXPECT_EQ((std::array<uint32_t, 4>{c.tag, c.offset, c.size, c.bit}), outlook[i]) << i;
  }
}

TEST(TableLayoutTest, RowIdAndVersionComeFirstEvenWhenMissing) {
  auto layout = LayoutTable({kToMe, kImportance16, kDelivery, kTagLtpRowVer});
  ASSERT_TRUE(layout.ok());
  EXPECT_EQ(layout->Find(kTagLtpRowId)->offset, 0);
  EXPECT_EQ(layout->Find(kTagLtpRowVer)->offset, 4);
  EXPECT_EQ(layout->Find(kTagLtpRowVer)->bit, 1);
  EXPECT_EQ(layout->Find(kDelivery)->offset, 8);
  EXPECT_EQ(layout->Find(kImportance16)->offset, 16);
  EXPECT_EQ(layout->Find(kToMe)->offset, 18);
  EXPECT_EQ(layout->rgib, (std::array<uint16_t, 4>{16, 18, 19, 20}));
  EXPECT_FALSE(LayoutTable({kToMe, kToMe}).ok());
  std::vector<PropTag> many;
  for (uint32_t i = 0; i < 254; ++i)
    many.push_back(MakeTag(static_cast<uint16_t>(0x8000 + i), kPtypInteger32));
  EXPECT_FALSE(LayoutTable(many).ok());  // 256 with row id and version
  many.pop_back();
  EXPECT_TRUE(LayoutTable(many).ok());
}

TEST(TableContextTest, RowCountsAroundTheLimits) {
  for (size_t rows : {0, 1, 447, 448, 5000}) {
    TamperStore store;
    Table t = MakeTable(rows);
    HeapOutput out;
    auto got = RoundTrip(store, t, &out);
    ASSERT_TRUE(got.ok()) << rows << ": " << got.status().ToString();
    EXPECT_EQ(got->columns, t.columns);
    ExpectSameRows(t, *got);
  }
}

TEST(TableContextTest, EmptyTableLooksLikeOutlooksTemplates) {
  TamperStore store;
  auto out = WriteTableContext(store, Table{kHierarchyColumns, {}});
  ASSERT_TRUE(out.ok());
  EXPECT_TRUE(out->subnodes.empty());
  auto heap = HeapReader::Open(store, out->data, "tc");
  // Row index BTH header at 0x20, TCINFO at 0x40, nothing else: as in every empty Outlook table.
  EXPECT_EQ(heap->user_root(), 0x40u);
  auto bth = heap->Get(0x20).value();
  EXPECT_EQ(std::vector<uint8_t>(bth.begin(), bth.end()), (std::vector<uint8_t>{0xB5, 4, 4, 0, 0, 0, 0, 0}));
  auto info = heap->Get(0x40).value();
  ASSERT_EQ(info.size(), 22u + 8 * 13);
  EXPECT_EQ(le::Get32(info, 10), 0x20u);  // hidRowIndex
  EXPECT_EQ(le::Get32(info, 14), 0u);     // hnidRows
  EXPECT_EQ(le::Get32(info, 18), 0u);     // hidIndex
  EXPECT_TRUE(heap->Get(0x60).status().IsCorruption());
}

TEST(TableContextTest, SmallMatrixSitsInTheHeapAfterTheRowIndex) {
  TamperStore store;
  Table t = MakeTable(5);
  auto out = WriteTableContext(store, t);
  ASSERT_TRUE(out.ok());
  auto heap = HeapReader::Open(store, out->data, "tc");
  auto info = heap->Get(0x40).value();
  EXPECT_EQ(le::Get32(info, 14), 0x80u);
  const size_t row_size = le::Get16(info, 8);
  EXPECT_EQ(heap->Get(0x80)->size(), 5 * row_size);
  auto index = ReadBth(*heap, 0x20);
  ASSERT_EQ(index->size(), 5u);
  for (size_t i = 1; i < 5; ++i) EXPECT_LT(le::Get32(index->key(i - 1), 0), le::Get32(index->key(i), 0));
  // The 10,000-byte cell went to a subnode, the rest stayed in the heap.
  ASSERT_EQ(out->subnodes.size(), 1u);
  // Row 0: row id at 0, version 1 at 4, CEB bit 0 (row id) set as the high bit of the first CEB byte.
  auto matrix = heap->Get(0x80).value();
  EXPECT_EQ(le::Get32(matrix, 0), t.rows[0].row_id);
  EXPECT_EQ(le::Get32(matrix, 4), 1u);
  EXPECT_EQ(matrix[le::Get16(info, 6)] & 0xC0, 0xC0);
}

TEST(TableContextTest, LargeMatrixIsSplitIntoPaddedBlocksOfWholeRows) {
  TamperStore store;
  Table t = MakeTable(448);
  auto out = WriteTableContext(store, t);
  ASSERT_TRUE(out.ok());
  auto heap = HeapReader::Open(store, out->data, "tc");
  auto info = heap->Get(heap->user_root()).value();
  const size_t row_size = le::Get16(info, 8);
  const Nid rows_nid = le::Get32(info, 14);
  EXPECT_EQ(NidTypeOf(rows_nid), kNidTypeLtp);
  EXPECT_EQ(heap->Get(0x20).value()[3], 1);  // 448 rows need an index level in the row index
  const SubnodeEntry* matrix = nullptr;
  for (const auto& s : out->subnodes)
    if (s.nid == rows_nid) matrix = &s;
  ASSERT_NE(matrix, nullptr);
  auto blocks = store.DataBlocks(matrix->data).value();
  const size_t per_block = kMaxBlockData / row_size;
  ASSERT_EQ(blocks.size(), (448 + per_block - 1) / per_block);
  for (size_t i = 0; i + 1 < blocks.size(); ++i)
    EXPECT_EQ(store.ReadDataBlock(blocks[i])->size(), kMaxBlockData);
  EXPECT_EQ(store.ReadDataBlock(blocks.back())->size(), (448 - per_block * (blocks.size() - 1)) * row_size);
}

TEST(TableContextTest, ExplicitRowVersionsAreKeptAndMissingOnesCount) {
  TamperStore store;
  Table t{{kTagLtpRowId, kTagLtpRowVer, kFlags}, {}};
  t.rows.push_back(TableRow{0x10, {{kTagLtpRowVer, PropValue::Int32(0x47)}}});
  t.rows.push_back(TableRow{0x13, {}});
  auto got = RoundTrip(store, t);
  ASSERT_TRUE(got.ok());
  EXPECT_EQ(got->rows[0].cells.at(kTagLtpRowVer).AsInt32(), 0x47);
  EXPECT_EQ(got->rows[1].cells.at(kTagLtpRowVer).AsInt32(), 2);
  EXPECT_FALSE(got->rows[1].cells.contains(kFlags));
}

TEST(TableContextTest, WriterRejectsCellsThatDoNotFitTheColumns) {
  TamperStore store;
  Table wrong_type{{kFlags}, {TableRow{1, {{kFlags, PropValue::Int64(1)}}}}};
  EXPECT_EQ(WriteTableContext(store, wrong_type).status().code(), Code::kInvalidArgument);
  Table no_column{{kFlags}, {TableRow{1, {{kSubject, PropValue::String("x")}}}}};
  EXPECT_EQ(WriteTableContext(store, no_column).status().code(), Code::kInvalidArgument);
  Table short_cell{{kFlags}, {TableRow{1, {{kFlags, PropValue::Raw(kPtypInteger32, {1})}}}}};
  EXPECT_EQ(WriteTableContext(store, short_cell).status().code(), Code::kInvalidArgument);
  Table twice{{kFlags}, {TableRow{1, {}}, TableRow{1, {}}}};
  EXPECT_EQ(WriteTableContext(store, twice).status().code(), Code::kInvalidArgument);
  Table other_id{{kFlags}, {TableRow{1, {{kTagLtpRowId, PropValue::Int32(2)}}}}};
  EXPECT_EQ(WriteTableContext(store, other_id).status().code(), Code::kInvalidArgument);
  Table big_then_bad = MakeTable(600);
  big_then_bad.rows.back().cells[kFlags] = PropValue::Bool(true);
  EXPECT_EQ(WriteTableContext(store, big_then_bad).status().code(), Code::kInvalidArgument);
  EXPECT_EQ(store.live_blocks(), 0u);  // the row matrix blocks and the big cell written before are released
}

// A table whose cells fill several hundred heap blocks (more than a reader holds) and whose row matrix
// spans blocks, read row by row: every row comes back as written, in row-matrix order, and the same as the
// whole-table read gives it.
TEST(TableRowReaderTest, RowsOfAHeapLargerThanTheBlocksHeldComeBackAsWritten) {
  TamperStore store;
  Table t = MakeTable(3000);
  for (size_t i = 0; i < t.rows.size(); ++i)
    t.rows[i].cells[kSubject] = PropValue::String(std::string(600, static_cast<char>('a' + i % 26)));
  auto out = WriteTableContext(store, t);
  ASSERT_TRUE(out.ok()) << out.status().ToString();
  ASSERT_GT(HeapReader::Open(store, out->data, "tc")->block_count(), 3 * HeapReader::kHeapPagesHeld);
  auto reader = TableRowReader::Open(store, out->data, out->subnodes);
  ASSERT_TRUE(reader.ok()) << reader.status().ToString();
  ASSERT_EQ((*reader)->row_count(), t.rows.size());
  Table got;
  got.columns = (*reader)->columns();
  for (size_t i = 0;; ++i) {
    auto row = (*reader)->Next();
    ASSERT_TRUE(row.ok()) << i << ": " << row.status().ToString();
    if (!*row) break;
    ASSERT_LT(i, t.rows.size());
    EXPECT_EQ((*reader)->row_id(i), (*row)->row_id);
    got.rows.push_back(**row);
  }
  EXPECT_EQ(got.columns, t.columns);
  ExpectSameRows(t, got);
  auto whole = ReadTableContext(store, out->data, out->subnodes);
  ASSERT_TRUE(whole.ok());
  ExpectSameRows(t, *whole);
}

// A row-matrix block that cannot be read fails the rows it holds, naming the block and its first row; the
// rows before it are read.
TEST(TableRowReaderTest, DamagedMatrixBlockIsNamedWithTheRowsItHolds) {
  class FailingStore : public TamperStore {
   public:
    Bid bad = 0;
    Result<std::vector<uint8_t>> ReadDataBlock(Bid bid) override {
      if (bid == bad) return Status::Corruption("block BID " + Hex(bid) + " at offset 0x4400: CRC mismatch");
      return TamperStore::ReadDataBlock(bid);
    }
  } store;
  auto out = WriteTableContext(store, MakeTable(2000));
  ASSERT_TRUE(out.ok());
  auto heap = HeapReader::Open(store, out->data, "tc");
  const auto info = heap->Get(heap->user_root()).value();
  const size_t per_block = kMaxBlockData / le::Get16(info, 8);
  for (const auto& e : out->subnodes)
    if (e.nid == le::Get32(info, 14)) store.bad = store.DataBlocks(e.data)->at(1);
  ASSERT_NE(store.bad, 0u);
  auto reader = TableRowReader::Open(store, out->data, out->subnodes);
  ASSERT_TRUE(reader.ok()) << reader.status().ToString();
  for (size_t i = 0; i < per_block; ++i) ASSERT_TRUE((*reader)->Next().ok()) << i;
  const Status s = (*reader)->Next().status();
  EXPECT_TRUE(s.IsCorruption());
  EXPECT_NE(s.message().find("row matrix block 1 (rows from " + std::to_string(per_block) + "): block BID " +
                             Hex(store.bad) + " at offset 0x4400: CRC mismatch"),
            std::string::npos)
      << s.ToString();
  EXPECT_EQ(ReadTableContext(store, out->data, out->subnodes).status().message(), s.message());
}

// ---- Damaged tables. TCINFO is allocation 0x40, at offset 12 + 8 = 20 of block 0.

class TableCorruptionTest : public ::testing::Test {
 protected:
  static constexpr size_t kTcInfo = 20;
  Status ReadAfter(size_t rows, TamperStore::Edit edit, bool drop_subnodes = false) {
    auto out = WriteTableContext(store_, MakeTable(rows));
    EXPECT_TRUE(out.ok());
    store_.Tamper(store_.DataBlocks(out->data)->at(0), std::move(edit));
    auto r = ReadTableContext(store_, out->data, drop_subnodes ? std::vector<SubnodeEntry>{} : out->subnodes);
    return r.status();
  }
  TamperStore store_;
};

TEST_F(TableCorruptionTest, BadTcInfoType) {
  EXPECT_TRUE(ReadAfter(2, [](auto& b) { b[kTcInfo] = 0x7D; }).IsCorruption());
}
TEST_F(TableCorruptionTest, MoreColumnsThanDescribed) {
  EXPECT_TRUE(ReadAfter(2, [](auto& b) { b[kTcInfo + 1] = 200; }).IsCorruption());
}
TEST_F(TableCorruptionTest, GroupEndsOutOfOrder) {
  EXPECT_TRUE(ReadAfter(2, [](auto& b) { le::Put16(b, kTcInfo + 2, 0xFFF0); }).IsCorruption());
}
TEST_F(TableCorruptionTest, BitmapTooSmallForTheColumns) {
  EXPECT_TRUE(
      ReadAfter(2, [](auto& b) { le::Put16(b, kTcInfo + 8, le::Get16(b, kTcInfo + 6)); }).IsCorruption());
}
TEST_F(TableCorruptionTest, CellOutsideTheRow) {
  Status s = ReadAfter(2, [](auto& b) { le::Put16(b, kTcInfo + 22 + 4, 0x7000); });
  EXPECT_TRUE(s.IsCorruption()) << s.ToString();
}
TEST_F(TableCorruptionTest, CellSizeThatDoesNotMatchItsType) {
  EXPECT_TRUE(ReadAfter(2, [](auto& b) { b[kTcInfo + 22 + 6] = 8; }).IsCorruption());
}
TEST_F(TableCorruptionTest, TwoColumnsShareABit) {
  EXPECT_TRUE(ReadAfter(2, [](auto& b) { b[kTcInfo + 22 + 8 + 7] = b[kTcInfo + 22 + 7]; }).IsCorruption());
}
TEST_F(TableCorruptionTest, RowIndexPointsPastTheMatrix) {
  // The row index leaf follows TCINFO (22 + 8 * 8 bytes); its first record's dwRowIndex becomes 50.
  Status s = ReadAfter(2, [](auto& b) { le::Put32(b, kTcInfo + 86 + 4, 50); });
  EXPECT_TRUE(s.IsCorruption()) << s.ToString();
}
TEST_F(TableCorruptionTest, TwoRowsClaimOneMatrixRow) {
  EXPECT_TRUE(ReadAfter(2, [](auto& b) {
                le::Put32(b, kTcInfo + 86 + 12, le::Get32(b, kTcInfo + 86 + 4));
              }).IsCorruption());
}
TEST_F(TableCorruptionTest, RowsWithoutAMatrix) {
  EXPECT_TRUE(ReadAfter(2, [](auto& b) { le::Put32(b, kTcInfo + 14, 0); }).IsCorruption());
}
TEST_F(TableCorruptionTest, ZeroColumnsWithAMatrixSubnode) {
  // No rows in the index, no columns, rgib all zero, yet a row matrix in a subnode: nothing to divide by.
  auto s = ReadAfter(500, [](auto& b) {
    le::Put32(b, 12 + 4, 0);  // row index BTH: hidRoot 0
    b[kTcInfo + 1] = 0;
    for (size_t i = 0; i < 4; ++i) le::Put16(b, kTcInfo + 2 + 2 * i, 0);
  });
  EXPECT_TRUE(s.ok() || s.IsCorruption()) << s.ToString();
}
TEST_F(TableCorruptionTest, MatrixSubnodeMissing) {
  Status s = ReadAfter(
      500, [](auto&) {}, true);
  EXPECT_TRUE(s.IsCorruption()) << s.ToString();
}
TEST_F(TableCorruptionTest, MatrixBlockShorterThanItsRows) {
  auto out = WriteTableContext(store_, MakeTable(500));
  auto heap = HeapReader::Open(store_, out->data, "tc");
  const Nid rows_nid = le::Get32(heap->Get(0x40).value(), 14);
  for (const auto& s : out->subnodes)
    if (s.nid == rows_nid)
      store_.Tamper(store_.DataBlocks(s.data)->back(), [](auto& b) { b.resize(b.size() / 2); });
  auto s = ReadTableContext(store_, out->data, out->subnodes).status();
  EXPECT_TRUE(s.IsCorruption()) << s.ToString();
}
TEST_F(TableCorruptionTest, PropertyContextIsNotATable) {
  auto pc = WritePropertyContext(store_, {{0x3001, PropValue::String("x")}});
  EXPECT_TRUE(ReadTableContext(store_, pc->data, {}).status().IsCorruption());
}

}  // namespace
}  // namespace velmora::pst
