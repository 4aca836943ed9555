// Feeds arbitrary bytes to the LTP readers as the data of one heap node and checks that they fail cleanly.
//
// Input: flags(1) then chunks, each len(2, little-endian) + bytes (a short last chunk takes what is left).
// Every chunk but the last becomes one heap block; the last one too, unless flags bit 0 is set, in which case
// it becomes the data of subnode 0x3F (an LTP subnode that HNIDs in the heap may name). The blocks are read
// as a property context (values above 64 bytes as lazy streams, which are then read) and as a table context.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"
#include "pst/ndb/testing/memory_node_store.h"

using namespace velmora::pst;

namespace {
constexpr size_t kMaxBlocks = 16;
constexpr Nid kSubnode = 0x3F;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool has_subnode = (data[0] & 1) != 0;
  std::vector<std::vector<uint8_t>> chunks;
  size_t at = 1;
  while (at < size && chunks.size() < kMaxBlocks + 1) {
    size_t len = at + 2 <= size ? static_cast<size_t>(data[at] | (data[at + 1] << 8)) : 0;
    at = std::min(size, at + 2);
    len = std::min({len, size - at, kMaxBlockData});
    chunks.emplace_back(data + at, data + at + len);
    at += len;
  }
  if (chunks.empty()) return 0;

  testing::MemoryNodeStore store;
  std::vector<SubnodeEntry> subnodes;
  if (has_subnode && chunks.size() > 1) {
    Bid sub = store.WriteDataBlock(chunks.back()).value();
    subnodes.push_back(SubnodeEntry{kSubnode, sub, 0});
    chunks.pop_back();
  }
  std::vector<Bid> blocks;
  for (const auto& c : chunks) blocks.push_back(store.WriteDataBlock(c).value());
  Bid tree = store.WriteDataTree(blocks).value();

  if (auto props = ReadPropertyContext(store, tree, subnodes, 64); props.ok()) {
    for (const auto& [id, value] : *props) {
      if (!value.stream) continue;
      std::vector<uint8_t> piece(static_cast<size_t>(std::min<uint64_t>(value.Size(), 100)));
      (void)value.stream->Read(value.Size() - piece.size(), piece);
    }
  }
  (void)ReadTableContext(store, tree, subnodes);
  return 0;
}
