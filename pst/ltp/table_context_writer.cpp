// Writes a table context ([MS-PST] 2.3.4): a heap with bClientSig 0x7C whose hidUserRoot is TCINFO.
//
// TCINFO, 22 + 8 * cCols bytes:
//   0   1  bType        0x7C
//   1   1  cCols
//   2   8  rgib[4]      ends of the 8/4-byte cells, the 2-byte cells, the 1-byte cells, and the row (after the
//                       cell existence bitmap); see table_layout.h
//  10   4  hidRowIndex  BTH (cbKey 4 = dwRowID, cbEnt 4 = dwRowIndex, the row's place in the matrix)
//  14   4  hnidRows     the row matrix: 0 without rows, a HID when it fits one allocation, else a subnode NID
//  18   4  hidIndex     deprecated, 0
//  22   8n rgTCOLDESC   ascending by tag: tag(4) | ibData(2) | cbData(1) | iBit(1)
//
// Row: cells at their ibData (fixed-size values little-endian, other types a 4-byte HNID, 0 for an empty
// value), absent cells zero, then the cell existence bitmap with iBit 0 as the high bit of its first byte.
// A row matrix in a subnode holds floor(8,176 / row size) whole rows per data block; every block but the last
// is padded with zeros to 8,176 bytes ([MS-PST] 2.3.4.4.1).
//
// Heap order as Outlook writes it: row index BTH header (0x20), TCINFO (0x40), row index records, the row
// matrix, then the variable-size cells.
#include <algorithm>

#include "pst/ltp/bth.h"
#include "pst/ltp/data_tree.h"
#include "pst/ltp/le_bytes.h"
#include "pst/ltp/table_context.h"
#include "pst/ltp/table_layout.h"
#include "pst/ltp/value_store.h"

namespace velmora::pst {

namespace {
constexpr uint8_t kRowIndexKeySize = 4;
constexpr uint8_t kRowIndexDataSize = 4;

// Builds the TCINFO bytes.
std::vector<uint8_t> EncodeTcInfo(const TableLayout& layout, Hid row_index, uint32_t rows_hnid) {
  std::vector<uint8_t> out;
  out.push_back(kClientSigTableContext);
  out.push_back(static_cast<uint8_t>(layout.columns.size()));
  for (uint16_t ib : layout.rgib) le::Append16(out, ib);
  le::Append32(out, row_index);
  le::Append32(out, rows_hnid);
  le::Append32(out, 0);  // hidIndex
  for (const TableColumn& c : layout.columns) {
    le::Append32(out, c.tag);
    le::Append16(out, c.offset);
    out.push_back(c.size);
    out.push_back(c.bit);
  }
  return out;
}

// Encodes row i of `rows` into `out`, its row version i + 1.
Status EncodeSourceRow(const TableLayout& layout, const TableRowSource& rows, size_t i,
                       const CellValueSink& put, std::span<uint8_t> out) {
  PST_ASSIGN_OR_RETURN(const TableRow* row, rows.row(i));
  return EncodeRow(layout, *row, static_cast<uint32_t>(i + 1), put, out);
}

// The layout of `columns`, from the scratch when it holds one, else laid out (and kept there).
Result<const TableLayout*> LayoutOf(const std::vector<PropTag>& columns, TableScratch* scratch,
                                    TableLayout& own) {
  if (!scratch) {
    PST_ASSIGN_OR_RETURN(own, LayoutTable(columns));
    return &own;
  }
  for (const auto& [kept_columns, layout] : scratch->layouts)
    if (kept_columns == columns) return &layout;
  PST_ASSIGN_OR_RETURN(TableLayout layout, LayoutTable(columns));
  if (scratch->layouts.size() < TableScratch::kLayouts) {
    scratch->layouts.emplace_back(columns, std::move(layout));
    return &scratch->layouts.back().second;
  }
  auto& slot = scratch->layouts[scratch->next_replaced];
  scratch->next_replaced = (scratch->next_replaced + 1) % TableScratch::kLayouts;
  slot = {columns, std::move(layout)};
  return &slot.second;
}

Result<HeapOutput> Write(NodeStore& store, const TableRowSource& table, HeapWriter& heap, ValueStore& values,
                         TableScratch* scratch) {
  TableLayout own;
  PST_ASSIGN_OR_RETURN(const TableLayout* laid_out, LayoutOf(table.columns, scratch, own));
  const TableLayout& layout = *laid_out;
  const CellValueSink put = [&](const PropValue& v) { return values.Put(v); };
  const size_t row_size = layout.row_size();
  const size_t count = table.count;

  PST_ASSIGN_OR_RETURN(BthWriter index, BthWriter::Begin(heap, kRowIndexKeySize, kRowIndexDataSize));
  PST_ASSIGN_OR_RETURN(Hid tcinfo, heap.Reserve(kTcInfoFixed + kTcolDescSize * layout.columns.size()));
  heap.SetUserRoot(tcinfo);
  PST_RETURN_IF_ERROR(index.ReserveRecords(heap, count));

  // Row index records, sorted by row id.
  std::vector<std::pair<uint32_t, uint32_t>> keys;
  keys.reserve(count);
  for (size_t i = 0; i < count; ++i) keys.emplace_back(table.row_id(i), static_cast<uint32_t>(i));
  std::sort(keys.begin(), keys.end());
  std::vector<uint8_t> records;
  records.reserve(count * 8);
  for (size_t i = 0; i < keys.size(); ++i) {
    if (i > 0 && keys[i].first == keys[i - 1].first)
      return Status::InvalidArgument("row id " + Hex(keys[i].first) + " appears twice");
    le::Append32(records, keys[i].first);
    le::Append32(records, keys[i].second);
  }
  // The row index is filled before any row is made, so that its blocks can be written while the rows'
  // cells fill the blocks after them.
  std::vector<std::pair<uint32_t, uint32_t>>().swap(keys);
  PST_RETURN_IF_ERROR(index.Finish(heap, records));
  std::vector<uint8_t>().swap(records);

  uint32_t rows_hnid = 0;
  if (count > 0 && count * row_size <= kMaxHeapAllocation) {
    PST_ASSIGN_OR_RETURN(Hid matrix, heap.Reserve(count * row_size));
    std::vector<uint8_t> bytes(count * row_size);
    for (size_t i = 0; i < count; ++i) {
      PST_RETURN_IF_ERROR(
          EncodeSourceRow(layout, table, i, put, std::span<uint8_t>(bytes).subspan(i * row_size, row_size)));
    }
    PST_RETURN_IF_ERROR(heap.Overwrite(matrix, bytes));
    rows_hnid = matrix;
  } else if (count > 0) {
    const size_t per_block = kMaxBlockData / row_size;
    std::vector<Bid> blocks;
    auto release = [&](Status why) {
      for (Bid b : blocks) (void)store.Release(b);
      return why;
    };
    std::vector<uint8_t> block;
    for (size_t first = 0; first < count; first += per_block) {
      const size_t n = std::min(per_block, count - first);
      const bool last = first + n == count;
      block.assign(last ? n * row_size : kMaxBlockData, 0);
      for (size_t k = 0; k < n; ++k) {
        Status s = EncodeSourceRow(layout, table, first + k, put,
                                   std::span<uint8_t>(block).subspan(k * row_size, row_size));
        if (!s.ok()) return release(s);
      }
      auto bid = store.WriteDataBlock(block);
      if (!bid.ok()) return release(bid.status());
      blocks.push_back(*bid);
    }
    auto tree = store.WriteDataTree(blocks);
    if (!tree.ok()) return release(tree.status());
    PST_ASSIGN_OR_RETURN(rows_hnid, values.PutSubnode(*tree));
  }

  PST_RETURN_IF_ERROR(heap.Overwrite(tcinfo, EncodeTcInfo(layout, index.header(), rows_hnid)));
  return values.Finish();
}
}  // namespace

Result<HeapOutput> WriteTableContext(NodeStore& store, const Table& table) {
  TableRowSource rows{table.columns, table.rows.size(), [&table](size_t i) { return table.rows[i].row_id; },
                      [&table](size_t i) -> Result<const TableRow*> { return &table.rows[i]; }};
  return WriteTableContext(store, rows);
}

Result<HeapOutput> WriteTableContext(NodeStore& store, const TableRowSource& table) {
  return WriteTableContext(store, table, nullptr);
}

Result<HeapOutput> WriteTableContext(NodeStore& store, const TableRowSource& table, TableScratch* scratch) {
  HeapWriter heap(kClientSigTableContext, &store);  // streamed: a table of any size in a few blocks
  ValueStore values(store, heap);
  auto out = Write(store, table, heap, values, scratch);
  if (!out.ok()) return values.Abandon(out.status());
  return out;
}

}  // namespace velmora::pst
