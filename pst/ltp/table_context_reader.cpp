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
      auto read = store_.ReadDataBlock(blocks_[block]);
      if (read.status().IsCorruption())
        return Status::Corruption(what_ + ": row matrix block " + std::to_string(block) + " (rows from " +
                                  std::to_string(block * per_block_) + "): " + read.status().message());
      if (!read.ok()) return read.status();
      current_ = std::move(read).value();
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

// The row index as (matrix row, row id) pairs in matrix order, every matrix row claimed once.
struct IndexEntry {
  uint32_t position;
  uint32_t row_id;
  bool operator<(const IndexEntry& o) const { return position < o.position; }
};

}  // namespace

struct TableRowReader::State {
  State(NodeStore& s, HeapReader h) : store(s), heap(std::move(h)) {}
  NodeStore& store;
  HeapReader heap;
  TableLayout layout;
  std::vector<IndexEntry> order;
  std::optional<ValueReader> values;
  std::optional<RowMatrix> matrix;
  size_t next = 0;
};

TableRowReader::TableRowReader(std::unique_ptr<State> state) : state_(std::move(state)) {}
TableRowReader::~TableRowReader() = default;

size_t TableRowReader::row_count() const {
  return state_->order.size();
}

uint32_t TableRowReader::row_id(size_t i) const {
  return state_->order[i].row_id;
}

Result<std::unique_ptr<TableRowReader>> TableRowReader::Open(NodeStore& store, Bid data,
                                                             const std::vector<SubnodeEntry>& subnodes) {
  PST_ASSIGN_OR_RETURN(HeapReader heap, HeapReader::Open(store, data, "table context in block " + Hex(data)));
  if (heap.client_sig() != kClientSigTableContext)
    return Status::Corruption(heap.what() + ": bClientSig " + Hex(heap.client_sig()) + " is not 0x7C");
  auto state = std::make_unique<State>(store, std::move(heap));
  const HeapReader& h = state->heap;
  PST_ASSIGN_OR_RETURN(TcInfo info, ReadTcInfo(h));
  state->layout = info.layout;
  const TableLayout& layout = state->layout;

  PST_ASSIGN_OR_RETURN(BthHeader index, ReadBthHeader(h, info.row_index));
  if (index.key_size != 4 || index.data_size > 8)
    return Status::Corruption(h.what() + ": row index has cbKey " + std::to_string(index.key_size) +
                              ", cbEnt " + std::to_string(index.data_size));
  // Matrix position -> row id; every position used once. A position past 32 bits is past any row matrix.
  std::vector<IndexEntry>& order = state->order;
  PST_RETURN_IF_ERROR(
      ForEachBthRecord(h, index, [&](std::span<const uint8_t> key, std::span<const uint8_t> at) {
        const uint64_t position = le::GetN(at, 0, at.size());
        if (position > UINT32_MAX)
          return Status::Corruption(h.what() + ": row " + std::to_string(position) +
                                    " is beyond the row matrix");
        order.push_back({static_cast<uint32_t>(position), le::Get32(key, 0)});
        return Status::Ok();
      }));
  if (!std::is_sorted(order.begin(), order.end())) std::sort(order.begin(), order.end());
  for (size_t i = 1; i < order.size(); ++i)
    if (order[i].position == order[i - 1].position)
      return Status::Corruption(h.what() + ": two rows claim matrix row " +
                                std::to_string(order[i].position));
  if (!order.empty() && (info.rows_hnid == 0 || layout.row_size() == 0))
    return Status::Corruption(h.what() + ": " + std::to_string(order.size()) + " rows but no row matrix");

  state->values.emplace(store, h, subnodes);
  PST_ASSIGN_OR_RETURN(RowMatrix matrix,
                       RowMatrix::Open(store, h, *state->values, info.rows_hnid, layout.row_size()));
  state->matrix.emplace(std::move(matrix));

  std::vector<PropTag> columns(layout.columns.size());
  std::vector<bool> bit_used(layout.columns.size());
  for (const TableColumn& c : layout.columns) {
    if (c.bit >= columns.size() || bit_used[c.bit])
      return Status::Corruption(h.what() + ": column " + Hex(c.tag) + " has iBit " + std::to_string(c.bit) +
                                ", already taken or beyond the column count");
    bit_used[c.bit] = true;
    columns[c.bit] = c.tag;
  }
  std::unique_ptr<TableRowReader> reader(new TableRowReader(std::move(state)));
  reader->columns_ = std::move(columns);
  return reader;
}

Result<const TableRow*> TableRowReader::Next() {
  State& s = *state_;
  if (s.next == s.order.size()) return nullptr;
  const auto [position, row_id] = s.order[s.next++];
  PST_ASSIGN_OR_RETURN(std::span<const uint8_t> bytes, s.matrix->Row(position));
  const TableLayout& layout = s.layout;
  row_.row_id = row_id;
  row_.cells.clear();
  for (const TableColumn& c : layout.columns) {
    if ((bytes[layout.rgib[kTci1b] + c.bit / 8] & (0x80u >> (c.bit % 8))) == 0) continue;
    const uint16_t type = TagType(c.tag);
    PropValue value;
    const size_t fixed = FixedSizeOf(type);
    if (fixed != 0 && fixed == c.size) {
      value = PropValue::Raw(
          type, std::vector<uint8_t>(bytes.begin() + c.offset, bytes.begin() + c.offset + c.size));
    } else {
      PST_ASSIGN_OR_RETURN(value, s.values->Get(type, le::Get32(bytes, c.offset), UINT64_MAX,
                                                "row " + Hex(row_id) + " cell " + Hex(c.tag)));
    }
    row_.cells.emplace(c.tag, std::move(value));
  }
  return &row_;
}

Result<Table> ReadTableContext(NodeStore& store, Bid data, const std::vector<SubnodeEntry>& subnodes) {
  PST_ASSIGN_OR_RETURN(std::unique_ptr<TableRowReader> reader, TableRowReader::Open(store, data, subnodes));
  Table table;
  table.columns = reader->columns();
  table.rows.reserve(reader->row_count());
  while (true) {
    PST_ASSIGN_OR_RETURN(const TableRow* row, reader->Next());
    if (!row) break;
    table.rows.push_back(*row);
  }
  return table;
}

}  // namespace velmora::pst
