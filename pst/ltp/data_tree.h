// Values and row matrices that live in their own data tree (a subnode of the PC or TC node): written in
// 8,176-byte pieces from a ByteSource, read back lazily block by block.
#pragma once

#include <memory>

#include "pst/ltp/property.h"
#include "pst/ndb/node_store.h"

namespace velmora::pst {

// Copies `source` into full data blocks (the last one shorter) and returns the data tree. Reads the source
// one block at a time, so memory stays at one block whatever the size.
Result<Bid> WriteDataTreeFrom(NodeStore& store, const ByteSource& source);

// A ByteSource over the bytes of an existing data tree; reads the blocks it needs when asked, keeping the
// last one. The store must outlive it.
Result<std::shared_ptr<const ByteSource>> OpenDataTree(NodeStore& store, Bid tree, std::string what);

// The whole data tree in memory; Corruption when it holds more than `limit` bytes.
Result<std::vector<uint8_t>> ReadDataTree(NodeStore& store, Bid tree, uint64_t limit,
                                          const std::string& what);

// A ByteSource over bytes in memory.
class MemoryByteSource : public ByteSource {
 public:
  explicit MemoryByteSource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  uint64_t Size() const override { return bytes_.size(); }
  Status Read(uint64_t offset, std::span<uint8_t> out) const override;

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace velmora::pst
