// The bytes the store holds for an object: the total size of the data trees of its node and of every subnode
// below it, recursively (the PC or TC heap, values kept in their own subnodes, recipient and attachment
// tables, attachment PCs, embedded messages). Block trailers, padding and the XBLOCK / SLBLOCK structure
// around the data are not counted. This is what Outlook stores as PidTagMessageSize (message_size.h).
#pragma once

#include <cstdint>

#include "pst/ltp/property_context.h"

namespace velmora::pst {

// What the trees of one node or subnode hold.
Result<uint64_t> HeldBytes(NodeStore& store, Bid data, Bid sub);
inline Result<uint64_t> HeldBytes(NodeStore& store, const SubnodeEntry& e) {
  return HeldBytes(store, e.data, e.sub);
}

}  // namespace velmora::pst
