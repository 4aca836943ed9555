// What every NodeStore can do with its own calls.
#include "pst/ndb/node_store.h"

#include <string>

namespace velmora::pst {

// The plain way, right for any store: every kept block gets a reference for the new tree, and releasing the
// old tree takes them back. A store that knows who holds a tree can move the references instead.
Result<Bid> NodeStore::ExtendDataTree(Bid old_tree, size_t kept, std::span<const Bid> added) {
  PST_ASSIGN_OR_RETURN(std::vector<Bid> blocks, DataBlocks(old_tree));
  if (kept > blocks.size())
    return Status::InvalidArgument("cannot keep " + std::to_string(kept) + " blocks of a tree of " +
                                   std::to_string(blocks.size()));
  blocks.resize(kept);
  blocks.insert(blocks.end(), added.begin(), added.end());
  if (blocks.empty()) return Status::InvalidArgument("a data tree needs at least one block");
  size_t held = 0;
  Status st;
  while (held < kept && (st = AddRef(blocks[held])).ok()) ++held;
  Result<Bid> tree = st.ok() ? WriteDataTree(blocks) : Result<Bid>(st);
  if (!tree.ok()) {
    for (size_t i = 0; i < held; ++i) (void)Release(blocks[i]);
    return tree.status();
  }
  PST_RETURN_IF_ERROR(Release(old_tree));
  return tree;
}

}  // namespace velmora::pst
