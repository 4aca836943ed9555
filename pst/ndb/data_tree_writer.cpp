#include "pst/ndb/data_tree_writer.h"

#include <algorithm>
#include <cstdint>

namespace velmora::pst {

DataTreeWriter::~DataTreeWriter() {
  if (finished_) return;
  for (Bid b : blocks_) (void)store_.Release(b);
}

Status DataTreeWriter::Flush() {
  PST_ASSIGN_OR_RETURN(Bid b, store_.WriteDataBlock(pending_));
  blocks_.push_back(b);
  pending_.clear();
  return Status::Ok();
}

Status DataTreeWriter::Append(std::span<const uint8_t> bytes) {
  if (finished_) return Status::InvalidArgument("data tree already finished");
  // One node's data is at most 4 GiB - 1: the data tree's lcbTotal is 32 bits (its XXBLOCK could address
  // 1021 x 1021 blocks, about 8.5 GB). A larger stream (an attachment of 4 GiB or more) is refused here,
  // before its blocks fill the file, and the blocks written so far are given back.
  if (bytes.size() > UINT32_MAX - size_)
    return Status::InvalidArgument("a stream of 4 GiB or more cannot be stored (its size is 32 bits)");
  while (!bytes.empty()) {
    size_t n = std::min(bytes.size(), kMaxBlockData - pending_.size());
    pending_.insert(pending_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    bytes = bytes.subspan(n);
    size_ += n;
    if (pending_.size() == kMaxBlockData) PST_RETURN_IF_ERROR(Flush());
  }
  return Status::Ok();
}

Result<Bid> DataTreeWriter::Finish() {
  if (finished_) return Status::InvalidArgument("data tree already finished");
  if (!pending_.empty()) PST_RETURN_IF_ERROR(Flush());
  if (blocks_.empty()) {
    finished_ = true;
    return Bid{0};
  }
  PST_ASSIGN_OR_RETURN(Bid tree, store_.WriteDataTree(blocks_));
  finished_ = true;
  return tree;
}

}  // namespace velmora::pst
