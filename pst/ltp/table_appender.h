// A table context on disk that takes rows at its end, one at a time, and has rows rewritten where they are,
// without being read or written whole.
//
// What stays in memory is bounded by the table's block count, not its rows: the BIDs of the heap and row
// matrix blocks, their fill levels, the last row matrix block, the heap blocks being changed, and the right
// edge of the row index BTH. A row goes into the last block of the row matrix (a new block when it is full);
// its variable-size cells into the last heap block (a new one when it is full); its row index record at the
// right end of the BTH, whose rightmost leaf and index allocations grow in place, or move to the last heap
// block when their block has no room (the old allocation stays, empty). A row rewritten in place is found
// through the row index; its cells change in its row matrix block, a changed variable-size cell in its heap
// allocation (moved to the last block when it outgrows its own). Flush writes only the blocks that changed,
// new data trees over the old blocks, and the node.
//
// Tables whose rows cannot grow this way (a row matrix still inside the heap, a row index other than
// 4-byte keys and values, a last row that is not the row matrix's last) are Unsupported: callers rewrite
// those whole, which is cheap for the small tables this covers.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "pst/ltp/heap.h"
#include "pst/ltp/table_context.h"
#include "pst/ltp/table_layout.h"

namespace velmora::pst {

class TableAppender {
 public:
  // Opens the TC of `node` (a top-level node) for appending.
  static Result<std::unique_ptr<TableAppender>> Open(NodeStore& store, const NodeEntry& node);

  // The columns in iBit order, as ReadTableContext gives them.
  const std::vector<PropTag>& columns() const { return columns_; }
  size_t row_count() const { return row_count_; }
  // The largest row id in the table; rows appended must be above it.
  uint32_t last_row_id() const { return last_row_id_; }
  bool dirty() const { return dirty_; }

  // Appends `row` (row id above last_row_id()).
  Status Append(const TableRow& row);
  // Rewrites the row with row.row_id to hold row.cells (a column without a cell gets none); its row version
  // stays unless a cell gives one. NotFound when the table has no such row. (table_row_update.cpp)
  Status Update(const TableRow& row);
  // Writes what changed and puts the node with its new trees. Afterwards only the last blocks stay in memory.
  Status Flush();

 private:
  struct PathNode {
    Hid hid = 0;
    size_t records = 0;
  };
  explicit TableAppender(NodeStore& store) : store_(store) {}
  Status Load(const NodeEntry& node);

  // ---- the heap
  Result<HeapPage*> Page(size_t index);
  Result<std::span<const uint8_t>> Get(Hid hid);
  // Replaces an allocation (any size); when its block has no room it moves to the last block: the new HID.
  Result<Hid> Set(Hid hid, std::span<const uint8_t> bytes, size_t keep_free = 0);
  // A new allocation in the last block (or a new block) leaving `keep_free` bytes free beside it.
  Result<Hid> Allocate(std::span<const uint8_t> bytes, size_t keep_free = 0);
  size_t Headroom(size_t block) const { return block == leaf_block_ ? leaf_headroom_ : 0; }
  Result<uint32_t> PutCell(const PropValue& value);
  // Empties an allocation nothing names any more.
  Status Free(Hid hid);
  // Drops a value held in a subnode that nothing names any more.
  Status DropSubnode(Nid nid);

  // ---- the row index
  Status AppendIndexRecord(uint32_t row_id, uint32_t position);
  Status SetChildHid(size_t level, Hid child);  // the last record of path_[level] points at `child`
  // The matrix position of the row with this id, by a descent from the root.
  Result<uint32_t> FindRow(uint32_t row_id);

  // ---- the row matrix
  Status AppendMatrixRow(std::span<const uint8_t> row);
  // The bytes of row matrix block `index` (the last one included), held to be changed and written at Flush.
  Result<std::vector<uint8_t>*> MatrixBlock(size_t index);
  // Writes the changed and new row matrix blocks and grows the matrix's tree from the first of them.
  Status FlushMatrix();

  NodeStore& store_;
  NodeEntry node_;
  std::string what_;
  TcInfo info_;
  std::vector<PropTag> columns_;
  size_t row_size_ = 0;
  size_t per_block_ = 0;
  size_t row_count_ = 0;
  uint32_t last_row_id_ = 0;
  bool dirty_ = false;

  HeapRootFields root_;
  std::vector<Bid> heap_blocks_;  // 0 for a block not written yet
  size_t heap_kept_ = 0;          // blocks of the node's data tree as last written
  std::vector<uint8_t> levels_;   // fill level of every heap block
  std::map<size_t, HeapPage> pages_;
  std::set<size_t> dirty_pages_;
  size_t leaf_block_ = SIZE_MAX;  // the block that keeps room for the rightmost leaf to grow
  size_t leaf_headroom_ = 0;

  Hid bth_header_ = 0;
  std::vector<PathNode> path_;  // path_[0] the rightmost leaf, then index allocations up to the root

  Nid matrix_nid_ = 0;
  std::vector<Bid> matrix_blocks_;  // every block but the last
  size_t matrix_kept_ = 0;          // blocks before the last in the row matrix as last written
  Bid matrix_last_ = 0;             // the last block as on disk (0 when it changed or is new)
  std::vector<uint8_t> matrix_tail_;
  std::map<size_t, std::vector<uint8_t>> matrix_changed_;  // blocks before the last with rows rewritten

  std::vector<SubnodeEntry> subnodes_;  // the node's subnodes, the row matrix's data updated at Flush
  std::set<Bid> fresh_;                 // blocks written since the last Flush, referenced by nothing yet
};

}  // namespace velmora::pst
