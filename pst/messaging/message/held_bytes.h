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

// What WritePropertyContext(props) will hold: the heap's data tree plus the subnodes of the large values.
// Computed by writing the PC into a store that only counts, with large values replaced by zeros of the same
// size, so no stream is read. A PC's layout does not depend on the values of fixed-size properties of at
// most 4 bytes (they sit in the BTH record), so a size property can be measured before its value is known.
// The stand-ins replace the large values in `props` itself while it is measured; every value is back in its
// place when the call returns.
Result<uint64_t> MeasurePropertyContext(PropertyMap& props);

}  // namespace velmora::pst
