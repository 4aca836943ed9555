#include "pst/messaging/message/held_bytes.h"

#include <vector>

namespace velmora::pst {

Result<uint64_t> HeldBytes(NodeStore& store, Bid data, Bid sub) {
  uint64_t total = 0;
  if (data) {
    PST_ASSIGN_OR_RETURN(total, store.DataTreeSize(data));
  }
  if (!sub) return total;
  PST_ASSIGN_OR_RETURN(std::vector<SubnodeEntry> entries, store.ReadSubnodes(sub));
  for (const SubnodeEntry& e : entries) {
    PST_ASSIGN_OR_RETURN(uint64_t below, HeldBytes(store, e));
    total += below;
  }
  return total;
}

}  // namespace velmora::pst
