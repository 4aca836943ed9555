// Streams bytes into a data tree without holding them: full 8,176-byte blocks, the last one shorter, which
// is the shape Outlook gives the children of every XBLOCK. At most one block is buffered.
#pragma once

#include <vector>

#include "pst/ndb/node_store.h"

namespace velmora::pst {

class DataTreeWriter {
 public:
  explicit DataTreeWriter(NodeStore& store) : store_(store) {}
  // Drops the blocks written so far unless Finish handed them over.
  ~DataTreeWriter();
  DataTreeWriter(const DataTreeWriter&) = delete;
  DataTreeWriter& operator=(const DataTreeWriter&) = delete;

  Status Append(std::span<const uint8_t> bytes);
  // The data tree holding everything appended (a block, XBLOCK or XXBLOCK) with the caller's reference,
  // or 0 when nothing was appended.
  Result<Bid> Finish();
  uint64_t size() const { return size_; }

 private:
  Status Flush();

  NodeStore& store_;
  std::vector<uint8_t> pending_;
  std::vector<Bid> blocks_;
  uint64_t size_ = 0;
  bool finished_ = false;
};

}  // namespace velmora::pst
