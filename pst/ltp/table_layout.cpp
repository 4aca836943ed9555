#include "pst/ltp/table_layout.h"

#include <algorithm>
#include <set>

#include "pst/ltp/heap.h"
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

}  // namespace velmora::pst
