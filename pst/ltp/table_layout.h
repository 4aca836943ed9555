// Where each column's cell sits in a table-context row ([MS-PST] 2.3.4.4), computed the way Outlook does it.
// Outlook gives each column the next iBit when the column is added and packs cells by size class in that same
// order: 8- and 4-byte cells first (8-byte ones unaligned, mixed with the 4-byte ones), then 2-byte, then
// 1-byte cells, then the cell existence bitmap. PidTagLtpRowId and PidTagLtpRowVer are always the first two
// columns, so the row id sits at offset 0 and the version at 4.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "pst/ltp/property.h"

namespace velmora::pst {

struct TableColumn {
  PropTag tag = 0;
  uint16_t offset = 0;  // ibData
  uint8_t size = 0;     // cbData
  uint8_t bit = 0;      // iBit in the cell existence bitmap
};

// rgib indexes ([MS-PST] 2.3.4.1).
enum : size_t { kTci4b = 0, kTci2b = 1, kTci1b = 2, kTciBm = 3 };

struct TableLayout {
  std::vector<TableColumn> columns;  // ascending by tag, as TCOLDESCs are stored
  std::array<uint16_t, 4> rgib{};    // ends of the 8/4-byte, 2-byte and 1-byte groups, and the row size
  uint16_t row_size() const { return rgib[kTciBm]; }
  const TableColumn* Find(PropTag tag) const;
};

// Cell size of a column type: 1, 2, 4 or 8 for fixed-size types up to 8 bytes, 4 (an HNID) for the others.
uint8_t CellSizeOf(uint16_t type);

// The layout for columns given in iBit order (the order they were added). Row id and row version are moved to
// the front, or added when missing. Duplicate tags, or more than 255 columns, are an error.
Result<TableLayout> LayoutTable(const std::vector<PropTag>& columns_in_bit_order);

// TCINFO ([MS-PST] 2.3.4.1; layout in table_context_writer.cpp) as read from its heap allocation: 22 fixed
// bytes, then one 8-byte TCOLDESC per column.
constexpr size_t kTcInfoFixed = 22;
constexpr size_t kTcolDescSize = 8;
struct TcInfo {
  TableLayout layout;
  uint32_t row_index = 0;  // HID of the row index BTH header
  uint32_t rows_hnid = 0;  // the row matrix: 0, a HID or a subnode NID
};
// Checks TCINFO and every TCOLDESC against the row size; `what` names the table in errors.
Result<TcInfo> ParseTcInfo(std::span<const uint8_t> bytes, const std::string& what);

struct TableRow;
// Stores a variable-size cell's value and returns its HNID.
using CellValueSink = std::function<Result<uint32_t>(const PropValue&)>;
// Encodes one row's cells into `out` (row_size bytes, zeroed by the caller). Row id and row version cells
// are filled from row.row_id and `version` when the row lacks them.
Status EncodeRow(const TableLayout& layout, const TableRow& row, uint32_t version, const CellValueSink& put,
                 std::span<uint8_t> out);

}  // namespace velmora::pst
