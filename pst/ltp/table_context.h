// Table contexts ([MS-PST] 2.3.4): folder hierarchy and contents tables, recipient and attachment tables.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "pst/ltp/property_context.h"
#include "pst/ltp/table_layout.h"

namespace velmora::pst {

constexpr PropTag kTagLtpRowId = 0x67F20003;   // PidTagLtpRowId: the row's NID (or recipient row number)
constexpr PropTag kTagLtpRowVer = 0x67F30003;  // PidTagLtpRowVer

struct TableRow {
  uint32_t row_id = 0;                // dwRowID of the row index; also the PidTagLtpRowId cell
  FlatMap<PropTag, PropValue> cells;  // cells that exist; columns without a cell are absent (CEB bit clear)
};

struct Table {
  // Every column, including kTagLtpRowId and kTagLtpRowVer, in the order the columns were added to the table
  // (their iBit order, which also fixes where cells sit in a row; see table_layout.h). The reader returns
  // them in that order, so a table read and written again keeps Outlook's layout.
  std::vector<PropTag> columns;
  std::vector<TableRow> rows;  // in row-matrix order
};

// Writes a TC with these columns (sorted by tag in TCOLDESC order, cells laid out by size as Outlook does)
// and rows. Row-id and row-ver cells are filled from row_id and a running version when the row lacks them.
// Cells of a column whose type differs from the column's are an error, as are cells without a column and
// duplicate row ids. Variable-size cells go to the heap, or to subnodes when larger than 3,580 bytes; the row
// matrix goes to a subnode when it is larger than 3,580 bytes.
Result<HeapOutput> WriteTableContext(NodeStore& store, const Table& table);

// The rows of a table made one at a time while it is written, for tables too large to hold as TableRows
// (a message's recipients): row i's id without building it, and the row itself, asked for in row-matrix
// order and valid until the next call. Only the row being encoded need be held; the bytes written are those
// of the same rows given as a Table.
struct TableRowSource {
  std::vector<PropTag> columns;  // as Table::columns
  size_t count = 0;
  std::function<uint32_t(size_t)> row_id;
  std::function<Result<const TableRow*>(size_t)> row;
};
Result<HeapOutput> WriteTableContext(NodeStore& store, const TableRowSource& rows);

// What writing tables one after the other can keep from one to the next, held by their writer (the message
// store): the layouts of the last few column sets (every message's recipient table has the columns of the
// one before; laying them out again cost a sixth of writing it), and one row for a row source to fill.
// Used by one table at a time.
struct TableScratch {
  static constexpr size_t kLayouts = 4;
  std::vector<std::pair<std::vector<PropTag>, TableLayout>> layouts;
  size_t next_replaced = 0;
  TableRow row;
  std::vector<PropTag> tags;
  // The last row's properties, for a row source that makes every row's into the same map (recipient rows),
  // and what made them there: a row made the same way overwrites them in place.
  PropertyMap row_props;
  void (*row_props_made_by)() = nullptr;
};
Result<HeapOutput> WriteTableContext(NodeStore& store, const TableRowSource& rows, TableScratch* scratch);

// Reads a TC. Variable-size cells held in subnodes are loaded.
Result<Table> ReadTableContext(NodeStore& store, Bid data, const std::vector<SubnodeEntry>& subnodes);

// Reads a TC one row at a time, in row-matrix order, for tables too large to hold as a Table (a folder of
// 100,000 messages). What stays in memory is the TC's heap, the row index as (matrix row, row id) pairs
// (8 bytes a row) and one block of the row matrix; rows already read are not kept. TCINFO, the columns and
// the row index are checked at Open, each row as it is read. ReadTableContext is this reader run to the end.
class TableRowReader {
 public:
  static Result<std::unique_ptr<TableRowReader>> Open(NodeStore& store, Bid data,
                                                      const std::vector<SubnodeEntry>& subnodes);
  ~TableRowReader();

  // As Table::columns.
  const std::vector<PropTag>& columns() const { return columns_; }
  // The rows of the row index.
  size_t row_count() const;
  // The id of row `i` (below row_count()) in row-matrix order, from the row index, without reading the row.
  uint32_t row_id(size_t i) const;
  // The next row, nullptr after the last; valid until the next call. Corruption names the table, the row
  // and, for a damaged row-matrix block, the block.
  Result<const TableRow*> Next();

 private:
  struct State;
  explicit TableRowReader(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
  std::vector<PropTag> columns_;
  TableRow row_;
};

}  // namespace velmora::pst
