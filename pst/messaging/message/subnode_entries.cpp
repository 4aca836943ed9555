#include "pst/messaging/message/subnode_entries.h"

namespace velmora::pst {

HeldTrees::~HeldTrees() {
  // Best effort on an error path: the first error is the one the caller reports.
  for (Bid tree : trees_) (void)store_.Release(tree);
}

Result<SubnodeEntry> NestHeap(NodeStore& store, Nid nid, const HeapOutput& heap,
                              std::vector<SubnodeEntry> more) {
  HeldTrees held(store);
  held.Hold(heap);
  held.Hold(more);
  more.insert(more.end(), heap.subnodes.begin(), heap.subnodes.end());
  PST_ASSIGN_OR_RETURN(Bid sub, store.WriteSubnodeTree(more));
  held.Dismiss();
  return SubnodeEntry{nid, heap.data, sub};
}

}  // namespace velmora::pst
