// Ownership helpers for what a writer has produced but not yet handed on. Every tree a NodeStore writes holds
// one reference for its writer (pst/ndb/node_store.h); a writer that fails half-way releases what it holds,
// so a failed message leaves no blocks behind.
#pragma once

#include <vector>

#include "pst/ltp/property_context.h"

namespace velmora::pst {

// Releases the trees it holds when it goes out of scope, unless Dismiss() handed them on.
class HeldTrees {
 public:
  explicit HeldTrees(NodeStore& store) : store_(store) {}
  HeldTrees(const HeldTrees&) = delete;
  HeldTrees& operator=(const HeldTrees&) = delete;
  ~HeldTrees();

  void Hold(Bid tree) {
    if (tree) trees_.push_back(tree);
  }
  void Hold(const SubnodeEntry& e) {
    Hold(e.data);
    Hold(e.sub);
  }
  void Hold(const std::vector<SubnodeEntry>& entries) {
    for (const auto& e : entries) Hold(e);
  }
  void Hold(const HeapOutput& heap) {
    Hold(heap.data);
    Hold(heap.subnodes);
  }
  void Dismiss() { trees_.clear(); }

 private:
  NodeStore& store_;
  std::vector<Bid> trees_;
};

// One subnode entry for a written heap (a PC or TC) and its subnodes plus `more` (attachments, tables, an
// embedded message). Takes over every reference it is given: on failure they are released.
Result<SubnodeEntry> NestHeap(NodeStore& store, Nid nid, const HeapOutput& heap,
                              std::vector<SubnodeEntry> more = {});

}  // namespace velmora::pst
