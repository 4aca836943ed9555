// Rewriting a row of a table context where it is (see table_appender.h; the TC layout is documented in
// table_context_writer.cpp). The row is found through the row index and changed in its row matrix block;
// fixed-size cells are bytes of the row, a variable-size cell an HNID whose value stays where it is when it
// did not change, is overwritten in its heap allocation when it did, and moves (to the heap's last block or
// a subnode) when it no longer fits. Allocations and subnodes no longer named are emptied and dropped.
#include <algorithm>

#include "pst/ltp/bth.h"
#include "pst/ltp/le_bytes.h"
#include "pst/ltp/table_appender.h"

namespace velmora::pst {

namespace {
constexpr size_t kIndexRecord = 8;  // row index and its index levels: key (4) | row position or HID (4)

bool CellPresent(const TableLayout& layout, std::span<const uint8_t> row, const TableColumn& c) {
  return (row[layout.rgib[kTci1b] + c.bit / 8] & (0x80u >> (c.bit % 8))) != 0;
}

bool FixedCell(const TableColumn& c) {
  const size_t fixed = FixedSizeOf(TagType(c.tag));
  return fixed != 0 && fixed == c.size;
}
}  // namespace

Status TableAppender::Free(Hid hid) {
  PST_RETURN_IF_ERROR(Get(hid).status());
  pages_.at(HidBlockIndex(hid)).Replace(HidIndex(hid) - 1, {});
  dirty_pages_.insert(HidBlockIndex(hid));
  return Status::Ok();
}

Status TableAppender::DropSubnode(Nid nid) {
  auto it =
      std::find_if(subnodes_.begin(), subnodes_.end(), [&](const SubnodeEntry& e) { return e.nid == nid; });
  if (it == subnodes_.end() || nid == matrix_nid_)
    return Status::Corruption(what_ + ": a cell names subnode " + Hex(nid) + ", which holds no value");
  // A value written since the last flush is referenced by nothing else; one on disk goes with the old
  // subnode tree at Flush, which takes no reference for it.
  for (Bid tree : {it->data, it->sub})
    if (tree != 0 && fresh_.erase(tree) != 0) PST_RETURN_IF_ERROR(store_.Release(tree));
  subnodes_.erase(it);
  return Status::Ok();
}

Result<uint32_t> TableAppender::FindRow(uint32_t row_id) {
  PST_ASSIGN_OR_RETURN(std::span<const uint8_t> header, Get(bth_header_));
  Hid hid = le::Get32(header, 4);
  for (size_t level = header[3] + size_t{1}; level-- > 0;) {
    PST_ASSIGN_OR_RETURN(std::span<const uint8_t> node, Get(hid));
    const size_t records = node.size() / kIndexRecord;
    if (records == 0 || node.size() % kIndexRecord != 0)
      return Status::Corruption(what_ + ": row index allocation " + Hex(hid) + " holds " +
                                std::to_string(node.size()) + " bytes");
    // The last record whose key is not above the row id.
    size_t lo = 0, hi = records;
    while (hi - lo > 1) {
      const size_t mid = (lo + hi) / 2;
      (le::Get32(node, mid * kIndexRecord) <= row_id ? lo : hi) = mid;
    }
    const uint32_t key = le::Get32(node, lo * kIndexRecord), value = le::Get32(node, lo * kIndexRecord + 4);
    if (level == 0) {
      if (key != row_id) break;
      if (value >= row_count_)
        return Status::Corruption(what_ + ": row " + Hex(row_id) + " is at " + std::to_string(value) +
                                  ", beyond the " + std::to_string(row_count_) + " rows");
      return value;
    }
    if (key > row_id) break;
    hid = value;
  }
  return Status::NotFound(what_ + " has no row " + Hex(row_id));
}

Result<std::vector<uint8_t>*> TableAppender::MatrixBlock(size_t index) {
  if (index == matrix_blocks_.size()) {
    matrix_last_ = 0;
    return &matrix_tail_;
  }
  auto it = matrix_changed_.find(index);
  if (it == matrix_changed_.end()) {
    PST_ASSIGN_OR_RETURN(std::vector<uint8_t> bytes, store_.ReadDataBlock(matrix_blocks_[index]));
    it = matrix_changed_.emplace(index, std::move(bytes)).first;
  }
  return &it->second;
}

Status TableAppender::Update(const TableRow& row) {
  const TableLayout& layout = info_.layout;
  PST_ASSIGN_OR_RETURN(uint32_t position, FindRow(row.row_id));
  const size_t block = position / per_block_, at = position % per_block_ * row_size_;
  if (block > matrix_blocks_.size())
    return Status::Corruption(what_ + ": row " + Hex(row.row_id) + " is beyond the row matrix");
  std::vector<uint8_t> old;
  if (block == matrix_blocks_.size()) {
    old = matrix_tail_;
  } else if (auto it = matrix_changed_.find(block); it != matrix_changed_.end()) {
    old = it->second;
  } else {
    PST_ASSIGN_OR_RETURN(old, store_.ReadDataBlock(matrix_blocks_[block]));
  }
  if (at + row_size_ > old.size())
    return Status::Corruption(what_ + ": row " + Hex(row.row_id) + " is beyond its row matrix block");
  old.erase(old.begin(), old.begin() + static_cast<std::ptrdiff_t>(at));
  old.resize(row_size_);
  const TableColumn* id = layout.Find(kTagLtpRowId);
  const TableColumn* version = layout.Find(kTagLtpRowVer);
  if (id == nullptr || version == nullptr || le::Get32(old, id->offset) != row.row_id)
    return Status::Corruption(what_ + ": the row index puts row " + Hex(row.row_id) + " at " +
                              std::to_string(position) + ", which holds another row");

  // The new row, its variable-size values numbered for now (1, 2, ...) and placed below.
  std::vector<const PropValue*> values;
  const CellValueSink number = [&values](const PropValue& v) -> Result<uint32_t> {
    if (v.Size() == 0) return uint32_t{0};
    values.push_back(&v);
    return static_cast<uint32_t>(values.size());
  };
  std::vector<uint8_t> bytes(row_size_);
  PST_RETURN_IF_ERROR(EncodeRow(layout, row, le::Get32(old, version->offset), number, bytes));

  bool heap_changed = false;
  for (const TableColumn& c : layout.columns) {
    if (FixedCell(c)) continue;
    const uint32_t was = CellPresent(layout, old, c) ? le::Get32(old, c.offset) : 0;
    const uint32_t slot = CellPresent(layout, bytes, c) ? le::Get32(bytes, c.offset) : 0;
    uint32_t now = 0;
    if (slot != 0) {
      const PropValue& value = *values[slot - 1];
      const bool in_heap = !value.stream && value.bytes.size() <= kMaxHeapAllocation;
      if (was != 0 && HidType(was) == kNidTypeHid && in_heap) {
        PST_ASSIGN_OR_RETURN(std::span<const uint8_t> stored, Get(was));
        if (std::equal(stored.begin(), stored.end(), value.bytes.begin(), value.bytes.end())) {
          now = was;
        } else {
          PST_ASSIGN_OR_RETURN(now, Set(was, value.bytes));
          heap_changed = true;
        }
      } else {
        PST_ASSIGN_OR_RETURN(now, PutCell(value));
        heap_changed = true;
      }
      le::Put32(bytes, c.offset, now);
    }
    if (was == 0 || was == now) continue;
    PST_RETURN_IF_ERROR(HidType(was) == kNidTypeHid ? Free(was) : DropSubnode(was));
    heap_changed = true;
  }
  dirty_ |= heap_changed;
  if (bytes == old) return Status::Ok();
  dirty_ = true;
  PST_ASSIGN_OR_RETURN(std::vector<uint8_t> * target, MatrixBlock(block));
  std::copy(bytes.begin(), bytes.end(), target->begin() + static_cast<std::ptrdiff_t>(at));
  return Status::Ok();
}

}  // namespace velmora::pst
