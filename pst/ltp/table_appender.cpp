// Appending rows to a table context in place (see table_appender.h; the TC layout is documented in
// table_context_writer.cpp, the heap's in heap_writer.cpp, the BTH's in bth_writer.cpp).
//
// References. The node's trees hold one reference to each of their blocks. Flush takes the node's
// references, then grows each old tree into its new one (NodeStore::ExtendDataTree): the blocks before the
// first changed one pass to the new tree as they are, the changed and new blocks follow, and what only the
// old tree held is freed. A commit therefore changes the counts of new and replaced blocks only, however
// long the table is.
#include "pst/ltp/table_appender.h"

#include <algorithm>

#include "pst/ltp/bth.h"
#include "pst/ltp/data_tree.h"
#include "pst/ltp/le_bytes.h"

namespace velmora::pst {

namespace {
constexpr size_t kIndexRecord =
    8;  // row index: dwRowID (4) | dwRowIndex (4); index levels: key (4) | HID (4)
constexpr size_t kPerIndexNode = kMaxHeapAllocation / kIndexRecord;  // 447 records per allocation

// The header whose fill-level array covers heap block `i`: block 0 for blocks 0-7, else the HNBITMAPHDR
// block of its group of 128.
size_t LevelRecorder(size_t i) {
  return i < kHnBitmapFirst ? 0 : kHnBitmapFirst + (i - kHnBitmapFirst) / kHnBitmapStride * kHnBitmapStride;
}
}  // namespace

Result<std::unique_ptr<TableAppender>> TableAppender::Open(NodeStore& store, const NodeEntry& node) {
  std::unique_ptr<TableAppender> t(new TableAppender(store));
  PST_RETURN_IF_ERROR(t->Load(node));
  return t;
}

Status TableAppender::Load(const NodeEntry& node) {
  node_ = node;
  what_ = "table " + Hex(node.nid);
  if (node.data == 0) return Status::Unsupported(what_ + " has no data");
  PST_ASSIGN_OR_RETURN(heap_blocks_, store_.DataBlocks(node.data));
  if (heap_blocks_.empty() || heap_blocks_.size() > kMaxHeapBlocks)
    return Status::Corruption(what_ + ": heap has " + std::to_string(heap_blocks_.size()) + " blocks");
  levels_.assign(heap_blocks_.size(), 0);
  heap_kept_ = heap_blocks_.size();
  for (size_t i = 0; i < heap_blocks_.size(); i = i == 0 ? kHnBitmapFirst : i + kHnBitmapStride) {
    PST_ASSIGN_OR_RETURN(std::vector<uint8_t> bytes, store_.ReadDataBlock(heap_blocks_[i]));
    if (i == 0) {
      if (bytes.size() < kHnHdrSize || bytes[2] != kHeapSignature || bytes[3] != kClientSigTableContext)
        return Status::Corruption(what_ + ": heap block 0 is not the heap of a table context");
      root_ = {bytes[3], le::Get32(bytes, 4)};
    }
    const std::vector<uint8_t> recorded = RecordedFillLevels(i, bytes);
    for (size_t k = 0; k < recorded.size() && i + k < levels_.size(); ++k) levels_[i + k] = recorded[k];
    PST_ASSIGN_OR_RETURN(pages_[i], DecodeHeapPage(i, bytes, what_));
  }

  PST_ASSIGN_OR_RETURN(std::span<const uint8_t> tcinfo, Get(root_.user_root));
  PST_ASSIGN_OR_RETURN(info_, ParseTcInfo(tcinfo, what_ + ": TCINFO"));
  columns_.assign(info_.layout.columns.size(), 0);
  for (const TableColumn& c : info_.layout.columns) {
    if (c.bit >= columns_.size() || columns_[c.bit] != 0)
      return Status::Corruption(what_ + ": column " + Hex(c.tag) + " has iBit " + std::to_string(c.bit));
    columns_[c.bit] = c.tag;
  }
  row_size_ = info_.layout.row_size();
  if (row_size_ == 0 || info_.rows_hnid == 0 || HidType(info_.rows_hnid) == kNidTypeHid)
    return Status::Unsupported(what_ + ": row matrix is not in a subnode");
  per_block_ = kMaxBlockData / row_size_;

  // The row matrix: every block but the last is full of whole rows; the last is kept in memory.
  if (node.sub != 0) {
    PST_ASSIGN_OR_RETURN(subnodes_, store_.ReadSubnodes(node.sub));
  }
  matrix_nid_ = info_.rows_hnid;
  auto matrix = std::find_if(subnodes_.begin(), subnodes_.end(),
                             [&](const SubnodeEntry& e) { return e.nid == matrix_nid_; });
  if (matrix == subnodes_.end() || matrix->data == 0)
    return Status::Corruption(what_ + ": row matrix subnode " + Hex(matrix_nid_) + " is missing");
  PST_ASSIGN_OR_RETURN(matrix_blocks_, store_.DataBlocks(matrix->data));
  if (matrix_blocks_.empty()) return Status::Corruption(what_ + ": row matrix has no blocks");
  matrix_last_ = matrix_blocks_.back();
  matrix_blocks_.pop_back();
  matrix_kept_ = matrix_blocks_.size();
  PST_ASSIGN_OR_RETURN(matrix_tail_, store_.ReadDataBlock(matrix_last_));
  if (matrix_tail_.size() % row_size_ != 0 || matrix_tail_.size() / row_size_ > per_block_)
    return Status::Unsupported(what_ + ": the last row matrix block does not hold whole rows");
  row_count_ = matrix_blocks_.size() * per_block_ + matrix_tail_.size() / row_size_;

  // The right edge of the row index, from the root down to the last leaf.
  bth_header_ = info_.row_index;
  PST_ASSIGN_OR_RETURN(std::span<const uint8_t> header, Get(bth_header_));
  if (header.size() != kBthHeaderSize || header[0] != kBthType)
    return Status::Corruption(what_ + ": row index header at " + Hex(bth_header_) + " is not a BTH header");
  if (header[1] != 4 || header[2] != 4) return Status::Unsupported(what_ + ": row index records are not 4/4");
  const size_t index_levels = header[3];
  Hid hid = le::Get32(header, 4);
  if (hid == 0 || index_levels > kMaxBthIndexLevels)
    return Status::Unsupported(what_ + ": row index is empty or too deep");
  std::vector<PathNode> down;
  for (size_t level = 0; level <= index_levels; ++level) {
    PST_ASSIGN_OR_RETURN(std::span<const uint8_t> node_bytes, Get(hid));
    if (node_bytes.empty() || node_bytes.size() % kIndexRecord != 0)
      return Status::Corruption(what_ + ": row index allocation " + Hex(hid) + " holds " +
                                std::to_string(node_bytes.size()) + " bytes");
    const size_t records = node_bytes.size() / kIndexRecord;
    down.push_back({hid, records});
    const size_t last = (records - 1) * kIndexRecord;
    if (level < index_levels) {
      hid = le::Get32(node_bytes, last + 4);
    } else {
      last_row_id_ = le::Get32(node_bytes, last);
      if (le::Get32(node_bytes, last + 4) + size_t{1} != row_count_)
        return Status::Unsupported(what_ + ": its last row is not the last of the row matrix");
    }
  }
  path_.assign(down.rbegin(), down.rend());
  leaf_block_ = HidBlockIndex(path_[0].hid);
  leaf_headroom_ = (kPerIndexNode - std::min(kPerIndexNode, path_[0].records)) * kIndexRecord;
  return Status::Ok();
}

// ---- The heap

Result<HeapPage*> TableAppender::Page(size_t index) {
  if (index >= heap_blocks_.size())
    return Status::Corruption(what_ + ": heap block " + std::to_string(index) + " does not exist");
  auto it = pages_.find(index);
  if (it != pages_.end()) return &it->second;
  PST_ASSIGN_OR_RETURN(std::vector<uint8_t> bytes, store_.ReadDataBlock(heap_blocks_[index]));
  PST_ASSIGN_OR_RETURN(HeapPage page, DecodeHeapPage(index, bytes, what_));
  return &pages_.emplace(index, std::move(page)).first->second;
}

Result<std::span<const uint8_t>> TableAppender::Get(Hid hid) {
  PST_ASSIGN_OR_RETURN(HeapPage * page, Page(HidBlockIndex(hid)));
  const size_t index = HidIndex(hid);
  if (HidType(hid) != kNidTypeHid || index == 0 || index > page->starts.size())
    return Status::Corruption(what_ + ": HID " + Hex(hid) + " names no heap allocation");
  return page->Allocation(index - 1);
}

Result<Hid> TableAppender::Set(Hid hid, std::span<const uint8_t> bytes, size_t keep_free) {
  PST_RETURN_IF_ERROR(Get(hid).status());
  const size_t block = HidBlockIndex(hid), k = HidIndex(hid) - 1;
  HeapPage* page = &pages_.at(block);
  const size_t old_size = page->Allocation(k).size();
  if (bytes.size() <= old_size || page->Fits(block, bytes.size() - old_size + Headroom(block), 0)) {
    page->Replace(k, bytes);
    dirty_pages_.insert(block);
    return hid;
  }
  PST_ASSIGN_OR_RETURN(Hid moved, Allocate(bytes, keep_free));
  pages_.at(block).Replace(k, {});  // left empty: nothing names it any more
  dirty_pages_.insert(block);
  return moved;
}

Result<Hid> TableAppender::Allocate(std::span<const uint8_t> bytes, size_t keep_free) {
  if (bytes.size() > kMaxHeapAllocation)
    return Status::InvalidArgument(what_ + ": heap allocation of " + std::to_string(bytes.size()) + " bytes");
  size_t last = heap_blocks_.size() - 1;
  PST_ASSIGN_OR_RETURN(HeapPage * page, Page(last));
  if (!page->Fits(last, bytes.size() + keep_free + Headroom(last), 1)) {
    if (heap_blocks_.size() == kMaxHeapBlocks)
      return Status::NoSpace(what_ + ": heap has no room for more blocks");
    dirty_pages_.insert(last);  // no longer the last block: it is written again, full size
    heap_blocks_.push_back(0);
    levels_.push_back(0);
    ++last;
    page = &pages_[last];
  }
  page->starts.push_back(static_cast<uint32_t>(page->data.size()));
  page->data.insert(page->data.end(), bytes.begin(), bytes.end());
  dirty_pages_.insert(last);
  return MakeHid(static_cast<uint32_t>(last), static_cast<uint32_t>(page->starts.size()));
}

Result<uint32_t> TableAppender::PutCell(const PropValue& value) {
  if (value.Size() == 0) return uint32_t{0};
  if (!value.stream && value.bytes.size() <= kMaxHeapAllocation) return Allocate(value.bytes);
  Result<Bid> tree = value.stream ? WriteDataTreeFrom(store_, *value.stream)
                                  : WriteDataTreeFrom(store_, MemoryByteSource(value.bytes));
  if (!tree.ok()) return tree.status();
  auto nid = store_.AllocateNid(kNidTypeLtp);
  if (!nid.ok()) {
    (void)store_.Release(*tree);
    return nid.status();
  }
  subnodes_.push_back(SubnodeEntry{*nid, *tree, 0});
  fresh_.insert(*tree);
  return *nid;
}

// ---- The row index

Status TableAppender::SetChildHid(size_t level, Hid child) {
  if (level == path_.size()) {
    PST_ASSIGN_OR_RETURN(std::span<const uint8_t> h, Get(bth_header_));
    std::vector<uint8_t> header(h.begin(), h.end());
    header[3] = static_cast<uint8_t>(path_.size() - 1);
    le::Put32(header, 4, child);
    return Set(bth_header_, header).status();
  }
  PST_ASSIGN_OR_RETURN(std::span<const uint8_t> n, Get(path_[level].hid));
  std::vector<uint8_t> node(n.begin(), n.end());
  le::Put32(node, node.size() - 4, child);
  return Set(path_[level].hid, node).status();
}

Status TableAppender::AppendIndexRecord(uint32_t row_id, uint32_t position) {
  std::vector<uint8_t> record;
  le::Append32(record, row_id);
  le::Append32(record, position);
  // Adds `rec` at the right end of level `level`, a new allocation there when the last one is full.
  auto push = [&](auto& self, size_t level, std::vector<uint8_t> rec) -> Status {
    if (level == path_.size()) {  // the root was full: a new root over it and its new sibling
      PST_ASSIGN_OR_RETURN(std::span<const uint8_t> old_root, Get(path_.back().hid));
      std::vector<uint8_t> root(old_root.begin(), old_root.begin() + 4);
      le::Append32(root, path_.back().hid);
      root.insert(root.end(), rec.begin(), rec.end());
      if (path_.size() > kMaxBthIndexLevels) return Status::NoSpace(what_ + ": row index is too deep");
      PST_ASSIGN_OR_RETURN(Hid hid, Allocate(root));
      path_.push_back({hid, 2});
      return SetChildHid(path_.size(), hid);
    }
    PathNode& node = path_[level];
    const bool leaf = level == 0;
    if (node.records < kPerIndexNode) {
      PST_ASSIGN_OR_RETURN(std::span<const uint8_t> old, Get(node.hid));
      std::vector<uint8_t> grown(old.begin(), old.end());
      grown.insert(grown.end(), rec.begin(), rec.end());
      size_t keep_free = 0;
      if (leaf) {
        if (HidBlockIndex(node.hid) == leaf_block_) leaf_headroom_ -= std::min(leaf_headroom_, kIndexRecord);
        keep_free = (kPerIndexNode - node.records - 1) * kIndexRecord;
      }
      PST_ASSIGN_OR_RETURN(Hid hid, Set(node.hid, grown, keep_free));
      ++node.records;
      if (hid == node.hid) return Status::Ok();
      path_[level].hid = hid;
      if (leaf) {
        leaf_block_ = HidBlockIndex(hid);
        leaf_headroom_ = keep_free;
      }
      return SetChildHid(level + 1, hid);
    }
    // Full: a new allocation starts this level's right end, and the level above gets a record for it.
    const size_t keep_free = leaf ? (kPerIndexNode - 1) * kIndexRecord : 0;
    PST_ASSIGN_OR_RETURN(Hid hid, Allocate(rec, keep_free));
    if (leaf) {
      leaf_block_ = HidBlockIndex(hid);
      leaf_headroom_ = keep_free;
    }
    std::vector<uint8_t> above(rec.begin(), rec.begin() + 4);
    le::Append32(above, hid);
    PST_RETURN_IF_ERROR(self(self, level + 1, std::move(above)));
    path_[level] = {hid, 1};
    return Status::Ok();
  };
  return push(push, 0, std::move(record));
}

// ---- The row matrix

Status TableAppender::AppendMatrixRow(std::span<const uint8_t> row) {
  if (matrix_tail_.size() / row_size_ == per_block_) {
    // The last block is full: padded to 8,176 bytes, it becomes a non-final block.
    matrix_tail_.resize(kMaxBlockData, 0);
    PST_ASSIGN_OR_RETURN(Bid bid, store_.WriteDataBlock(matrix_tail_));
    fresh_.insert(bid);
    matrix_blocks_.push_back(bid);
    matrix_tail_.clear();
  }
  matrix_tail_.insert(matrix_tail_.end(), row.begin(), row.end());
  matrix_last_ = 0;
  return Status::Ok();
}

Status TableAppender::Append(const TableRow& row) {
  if (row.row_id <= last_row_id_)
    return Status::InvalidArgument(what_ + ": row " + Hex(row.row_id) + " is not above the last row " +
                                   Hex(last_row_id_));
  std::vector<uint8_t> bytes(row_size_);
  const CellValueSink put = [this](const PropValue& v) { return PutCell(v); };
  PST_RETURN_IF_ERROR(EncodeRow(info_.layout, row, static_cast<uint32_t>(row_count_ + 1), put, bytes));
  dirty_ = true;
  PST_RETURN_IF_ERROR(AppendMatrixRow(bytes));
  PST_RETURN_IF_ERROR(AppendIndexRecord(row.row_id, static_cast<uint32_t>(row_count_)));
  ++row_count_;
  last_row_id_ = row.row_id;
  return Status::Ok();
}

// ---- Writing

// The row matrix: the blocks written since the last flush replace the old last block, and blocks with rows
// rewritten replace themselves; the tree keeps its blocks before the first of these as they are. The last
// block holds only its rows, also past 1,021 blocks where a two-level tree wants every block full:
// Microsoft's PST SDK counts a table's rows from the size of its row matrix, so zeros after the rows would
// count as rows.
Status TableAppender::FlushMatrix() {
  if (matrix_last_ != 0 && matrix_changed_.empty()) return Status::Ok();
  const size_t first =
      matrix_changed_.empty() ? matrix_kept_ : std::min(matrix_kept_, matrix_changed_.begin()->first);
  std::vector<Bid> added;
  for (size_t i = first; i < matrix_blocks_.size(); ++i) {
    if (auto it = matrix_changed_.find(i); it != matrix_changed_.end()) {
      if (fresh_.erase(matrix_blocks_[i]) != 0) PST_RETURN_IF_ERROR(store_.Release(matrix_blocks_[i]));
      PST_ASSIGN_OR_RETURN(matrix_blocks_[i], store_.WriteDataBlock(it->second));
    } else if (i < matrix_kept_) {  // unchanged, but after the first changed block
      PST_RETURN_IF_ERROR(store_.AddRef(matrix_blocks_[i]));
    }
    added.push_back(matrix_blocks_[i]);
  }
  if (matrix_last_ == 0) {
    PST_ASSIGN_OR_RETURN(matrix_last_, store_.WriteDataBlock(matrix_tail_));
  } else {
    PST_RETURN_IF_ERROR(store_.AddRef(matrix_last_));
  }
  added.push_back(matrix_last_);
  for (SubnodeEntry& e : subnodes_) {
    if (e.nid != matrix_nid_) continue;
    PST_ASSIGN_OR_RETURN(e.data, store_.ExtendDataTree(e.data, first, added));
  }
  matrix_kept_ = matrix_blocks_.size();
  matrix_changed_.clear();
  return Status::Ok();
}

Status TableAppender::Flush() {
  if (!dirty_) return Status::Ok();

  // The node hands its references over to this flush: its data tree directly, its subnodes' trees through
  // references taken before the node (and with it the subnode tree) goes. The old trees then have no other
  // holder, so they grow into the new ones without a count change for each block they keep.
  for (const SubnodeEntry& e : subnodes_) {
    if (e.data != 0 && !fresh_.contains(e.data)) PST_RETURN_IF_ERROR(store_.AddRef(e.data));
    if (e.sub != 0 && !fresh_.contains(e.sub)) PST_RETURN_IF_ERROR(store_.AddRef(e.sub));
  }
  PST_RETURN_IF_ERROR(store_.AddRef(node_.data));
  PST_RETURN_IF_ERROR(store_.DeleteNode(node_.nid));

  PST_RETURN_IF_ERROR(FlushMatrix());

  // The heap: changed blocks, and the headers whose record of a fill level changed with them.
  for (bool again = true; again;) {
    again = false;
    for (size_t i : std::vector<size_t>(dirty_pages_.begin(), dirty_pages_.end())) {
      const uint8_t level = pages_.at(i).FillLevel(i);
      if (level == levels_[i]) continue;
      levels_[i] = level;
      const size_t recorder = LevelRecorder(i);
      PST_RETURN_IF_ERROR(Page(recorder).status());
      again |= dirty_pages_.insert(recorder).second;
    }
  }
  const size_t heap_kept = dirty_pages_.empty() ? heap_kept_ : std::min(heap_kept_, *dirty_pages_.begin());
  for (size_t i = heap_kept; i < heap_kept_; ++i)  // unchanged, but after the first changed block
    if (!dirty_pages_.contains(i)) PST_RETURN_IF_ERROR(store_.AddRef(heap_blocks_[i]));
  for (size_t i : dirty_pages_) {
    PST_ASSIGN_OR_RETURN(heap_blocks_[i], store_.WriteDataBlock(EncodeHeapPage(
                                              i, heap_blocks_.size(), pages_.at(i), root_, levels_)));
  }
  const std::span<const Bid> heap(heap_blocks_);
  PST_ASSIGN_OR_RETURN(node_.data, store_.ExtendDataTree(node_.data, heap_kept, heap.subspan(heap_kept)));
  heap_kept_ = heap_blocks_.size();

  PST_ASSIGN_OR_RETURN(node_.sub, store_.WriteSubnodeTree(subnodes_));
  PST_RETURN_IF_ERROR(store_.PutNode(node_));

  fresh_.clear();
  dirty_pages_.clear();
  dirty_ = false;
  // Keep only the blocks the next rows change.
  std::set<size_t> keep = {heap_blocks_.size() - 1, leaf_block_, HidBlockIndex(bth_header_)};
  for (const PathNode& n : path_) keep.insert(HidBlockIndex(n.hid));
  for (auto it = pages_.begin(); it != pages_.end();)
    it = keep.contains(it->first) ? std::next(it) : pages_.erase(it);
  return Status::Ok();
}

}  // namespace velmora::pst
