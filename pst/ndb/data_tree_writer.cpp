#include "pst/ndb/data_tree_writer.h"

#include <algorithm>

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
