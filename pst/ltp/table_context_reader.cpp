// Reads a table context (layout in table_context_writer.cpp). TCINFO and every TCOLDESC are checked against
// the row size before any row is read; rows are read one matrix block at a time.
#include <algorithm>
#include <optional>

#include "pst/ltp/bth.h"
#include "pst/ltp/le_bytes.h"
#include "pst/ltp/table_context.h"
#include "pst/ltp/table_layout.h"
#include "pst/ltp/value_store.h"

namespace velmora::pst {

namespace {

Result<TcInfo> ReadTcInfo(const HeapReader& heap) {
  PST_ASSIGN_OR_RETURN(std::span<const uint8_t> b, heap.Get(heap.user_root()));
  return ParseTcInfo(b, heap.what() + ": TCINFO at " + Hex(heap.user_root()));
}

// Serves rows of the matrix by number, from the heap allocation or block by block from the subnode.
class RowMatrix {
 public:
  static Result<RowMatrix> Open(NodeStore& store, const HeapReader& heap, const ValueReader& values,
                                uint32_t hnid, size_t row_size) {
    RowMatrix m(store, heap.what(), row_size);
    if (hnid == 0 || row_size == 0) return m;  // no rows can be read; the caller checked there are none
    if (HidType(hnid) == kNidTypeHid) {
      PST_ASSIGN_OR_RETURN(std::span<const uint8_t> bytes, heap.Get(hnid));
      m.current_.assign(bytes.begin(), bytes.end());
      m.per_block_ = row_size == 0 ? 0 : bytes.size() / row_size;
      m.current_block_ = 0;
      m.blocks_.push_back(0);
      return m;
    }
    PST_ASSIGN_OR_RETURN(SubnodeEntry sub, values.Subnode(hnid, "row matrix"));
    PST_ASSIGN_OR_RETURN(m.blocks_, store.DataBlocks(sub.data));
    m.per_block_ = kMaxBlockData / row_size;
    return m;
  }

  Result<std::span<const uint8_t>> Row(size_t index) {
    if (per_block_ == 0 || index / per_block_ >= blocks_.size())
      return Status::Corruption(what_ + ": row " + std::to_string(index) + " is beyond the row matrix");
    const size_t block = index / per_block_;
    if (block != current_block_) {
      PST_ASSIGN_OR_RETURN(current_, store_.ReadDataBlock(blocks_[block]));
      current_block_ = block;
    }
    const size_t at = (index % per_block_) * row_size_;
    if (at + row_size_ > current_.size())
      return Status::Corruption(what_ + ": row " + std::to_string(index) + " is beyond the row matrix");
    return std::span<const uint8_t>(current_).subspan(at, row_size_);
  }

 private:
  RowMatrix(NodeStore& store, std::string what, size_t row_size)
      : store_(store), what_(std::move(what)), row_size_(row_size) {}
  NodeStore& store_;
  std::string what_;
  size_t row_size_;
  size_t per_block_ = 0;
  std::vector<Bid> blocks_;
  std::vector<uint8_t> current_;
  size_t current_block_ = SIZE_MAX;
};
}  // namespace

Result<Table> ReadTableContext(NodeStore& store, Bid data, const std::vector<SubnodeEntry>& subnodes) {
  PST_ASSIGN_OR_RETURN(HeapReader heap, HeapReader::Open(store, data, "table context in block " + Hex(data)));
  if (heap.client_sig() != kClientSigTableContext)
    return Status::Corruption(heap.what() + ": bClientSig " + Hex(heap.client_sig()) + " is not 0x7C");
  PST_ASSIGN_OR_RETURN(TcInfo info, ReadTcInfo(heap));
  const TableLayout& layout = info.layout;

  PST_ASSIGN_OR_RETURN(BthRecords index, ReadBth(heap, info.row_index));
  if (index.key_size != 4 || index.data_size > 8)
    return Status::Corruption(heap.what() + ": row index has cbKey " + std::to_string(index.key_size) +
                              ", cbEnt " + std::to_string(index.data_size));
  // Matrix position -> row id; every position used once.
  std::vector<std::pair<uint64_t, uint32_t>> order;
  order.reserve(index.size());
  for (size_t i = 0; i < index.size(); ++i)
    order.emplace_back(le::GetN(index.data(i), 0, index.data_size), le::Get32(index.key(i), 0));
  std::sort(order.begin(), order.end());
  for (size_t i = 1; i < order.size(); ++i)
    if (order[i].first == order[i - 1].first)
      return Status::Corruption(heap.what() + ": two rows claim matrix row " +
                                std::to_string(order[i].first));
  if (!order.empty() && (info.rows_hnid == 0 || layout.row_size() == 0))
    return Status::Corruption(heap.what() + ": " + std::to_string(order.size()) + " rows but no row matrix");

  ValueReader values(store, heap, subnodes);
  PST_ASSIGN_OR_RETURN(RowMatrix matrix,
                       RowMatrix::Open(store, heap, values, info.rows_hnid, layout.row_size()));

  Table table;
  table.columns.resize(layout.columns.size());
  std::vector<bool> bit_used(layout.columns.size());
  for (const TableColumn& c : layout.columns) {
    if (c.bit >= table.columns.size() || bit_used[c.bit])
      return Status::Corruption(heap.what() + ": column " + Hex(c.tag) + " has iBit " +
                                std::to_string(c.bit) + ", already taken or beyond the column count");
    bit_used[c.bit] = true;
    table.columns[c.bit] = c.tag;
  }

  table.rows.reserve(order.size());
  for (const auto& [position, row_id] : order) {
    PST_ASSIGN_OR_RETURN(std::span<const uint8_t> bytes, matrix.Row(static_cast<size_t>(position)));
    TableRow row;
    row.row_id = row_id;
    for (const TableColumn& c : layout.columns) {
      if ((bytes[layout.rgib[kTci1b] + c.bit / 8] & (0x80u >> (c.bit % 8))) == 0) continue;
      const uint16_t type = TagType(c.tag);
      PropValue value;
      const size_t fixed = FixedSizeOf(type);
      if (fixed != 0 && fixed == c.size) {
        value = PropValue::Raw(
            type, std::vector<uint8_t>(bytes.begin() + c.offset, bytes.begin() + c.offset + c.size));
      } else {
        PST_ASSIGN_OR_RETURN(value, values.Get(type, le::Get32(bytes, c.offset), UINT64_MAX,
                                               "row " + Hex(row_id) + " cell " + Hex(c.tag)));
      }
      row.cells.emplace(c.tag, std::move(value));
    }
    table.rows.push_back(std::move(row));
  }
  return table;
}

}  // namespace velmora::pst
