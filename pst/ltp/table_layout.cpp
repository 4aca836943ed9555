#include "pst/ltp/table_layout.h"

#include <algorithm>
#include <set>

#include "pst/ltp/heap.h"
#include "pst/ltp/le_bytes.h"
#include "pst/ltp/table_context.h"

namespace velmora::pst {

// cCols is one byte.
constexpr size_t kMaxColumns = 255;

uint8_t CellSizeOf(uint16_t type) {
  const size_t fixed = FixedSizeOf(type);
  return fixed >= 1 && fixed <= 8 ? static_cast<uint8_t>(fixed) : 4;
}

const TableColumn* TableLayout::Find(PropTag tag) const {
  auto it = std::lower_bound(columns.begin(), columns.end(), tag,
                             [](const TableColumn& c, PropTag t) { return c.tag < t; });
  return it != columns.end() && it->tag == tag ? &*it : nullptr;
}

Result<TableLayout> LayoutTable(const std::vector<PropTag>& columns_in_bit_order) {
  std::vector<PropTag> order = {kTagLtpRowId, kTagLtpRowVer};
  std::set<PropTag> seen(order.begin(), order.end());
  for (PropTag tag : columns_in_bit_order) {
    if (tag == kTagLtpRowId || tag == kTagLtpRowVer) continue;
    if (!seen.insert(tag).second) return Status::InvalidArgument("column " + Hex(tag) + " appears twice");
    order.push_back(tag);
  }
  if (order.size() > kMaxColumns)
    return Status::InvalidArgument("a table holds at most 255 columns, not " + std::to_string(order.size()));

  TableLayout layout;
  size_t offset = 0;
  // Size classes in row order: 8 and 4 together, then 2, then 1.
  const std::vector<std::vector<uint8_t>> groups = {{8, 4}, {2}, {1}};
  for (size_t g = 0; g < groups.size(); ++g) {
    for (size_t bit = 0; bit < order.size(); ++bit) {
      const uint8_t size = CellSizeOf(TagType(order[bit]));
      if (std::find(groups[g].begin(), groups[g].end(), size) == groups[g].end()) continue;
      layout.columns.push_back(
          TableColumn{order[bit], static_cast<uint16_t>(offset), size, static_cast<uint8_t>(bit)});
      offset += size;
    }
    layout.rgib[g] = static_cast<uint16_t>(offset);
  }
  layout.rgib[kTciBm] = static_cast<uint16_t>(offset + (order.size() + 7) / 8);
  std::sort(layout.columns.begin(), layout.columns.end(),
            [](const TableColumn& a, const TableColumn& b) { return a.tag < b.tag; });
  return layout;
}

Result<TcInfo> ParseTcInfo(std::span<const uint8_t> b, const std::string& what) {
  if (b.size() < kTcInfoFixed || b[0] != kClientSigTableContext)
    return Status::Corruption(what + " is missing or has a bad bType");
  TcInfo info;
  const size_t cols = b[1];
  if (b.size() < kTcInfoFixed + kTcolDescSize * cols)
    return Status::Corruption(what + " of " + std::to_string(b.size()) + " bytes cannot hold " +
                              std::to_string(cols) + " column descriptions");
  for (size_t i = 0; i < 4; ++i) info.layout.rgib[i] = le::Get16(b, 2 + 2 * i);
  const auto& rgib = info.layout.rgib;
  if (rgib[kTci4b] > rgib[kTci2b] || rgib[kTci2b] > rgib[kTci1b] || rgib[kTci1b] > rgib[kTciBm] ||
      rgib[kTciBm] > kMaxBlockData || size_t{rgib[kTciBm]} - rgib[kTci1b] < (cols + 7) / 8)
    return Status::Corruption(what + ": rgib {" + std::to_string(rgib[0]) + ", " + std::to_string(rgib[1]) +
                              ", " + std::to_string(rgib[2]) + ", " + std::to_string(rgib[3]) +
                              "} is not a row of " + std::to_string(cols) + " columns");
  info.row_index = le::Get32(b, 10);
  info.rows_hnid = le::Get32(b, 14);
  for (size_t i = 0; i < cols; ++i) {
    const size_t at = kTcInfoFixed + kTcolDescSize * i;
    TableColumn c{le::Get32(b, at), le::Get16(b, at + 4), b[at + 6], b[at + 7]};
    const size_t fixed = FixedSizeOf(TagType(c.tag));
    const bool size_ok = (fixed >= 1 && fixed <= 8) ? c.size == fixed : c.size == 4;
    if (!size_ok || size_t{c.offset} + c.size > rgib[kTci1b] || c.bit >= 8 * (rgib[kTciBm] - rgib[kTci1b]))
      return Status::Corruption(what + ": column " + Hex(c.tag) + " (ibData " + std::to_string(c.offset) +
                                ", cbData " + std::to_string(c.size) + ", iBit " + std::to_string(c.bit) +
                                ") does not fit a row of " + std::to_string(rgib[kTciBm]) + " bytes");
    info.layout.columns.push_back(c);
  }
  return info;
}

Status EncodeRow(const TableLayout& layout, const TableRow& row, uint32_t version,
                 const CellValueSink& put_value, std::span<uint8_t> out) {
  auto put_cell = [&](const TableColumn& col, const PropValue& value) -> Status {
    if (value.type != TagType(col.tag))
      return Status::InvalidArgument("row " + Hex(row.row_id) + ": cell of type " + Hex(value.type) +
                                     " in column " + Hex(col.tag));
    const size_t fixed = FixedSizeOf(value.type);
    if (fixed != 0 && fixed == col.size) {
      if (value.stream || value.bytes.size() != fixed)
        return Status::InvalidArgument("row " + Hex(row.row_id) + ": cell " + Hex(col.tag) + " has " +
                                       std::to_string(value.Size()) + " bytes");
      std::copy(value.bytes.begin(), value.bytes.end(), out.begin() + col.offset);
    } else {
      PST_ASSIGN_OR_RETURN(uint32_t hnid, put_value(value));
      le::Put32(out, col.offset, hnid);
    }
    out[layout.rgib[kTci1b] + col.bit / 8] |= static_cast<uint8_t>(0x80u >> (col.bit % 8));
    return Status::Ok();
  };

  for (const auto& [tag, value] : row.cells) {
    const TableColumn* col = layout.Find(tag);
    if (col == nullptr) return Status::InvalidArgument("row " + Hex(row.row_id) + ": no column " + Hex(tag));
    if (tag == kTagLtpRowId && value.AsInt32() != static_cast<int32_t>(row.row_id))
      return Status::InvalidArgument("row " + Hex(row.row_id) + ": its row-id cell says otherwise");
    PST_RETURN_IF_ERROR(put_cell(*col, value));
  }
  if (!row.cells.contains(kTagLtpRowId))
    PST_RETURN_IF_ERROR(
        put_cell(*layout.Find(kTagLtpRowId), PropValue::Int32(static_cast<int32_t>(row.row_id))));
  if (!row.cells.contains(kTagLtpRowVer))
    PST_RETURN_IF_ERROR(
        put_cell(*layout.Find(kTagLtpRowVer), PropValue::Int32(static_cast<int32_t>(version))));
  return Status::Ok();
}

}  // namespace velmora::pst
