// Property contexts ([MS-PST] 2.3.3): a node's properties, kept in a BTree-on-heap keyed by property ID.
#pragma once

#include <map>
#include <vector>

#include "pst/ltp/property.h"
#include "pst/ndb/node_store.h"

namespace velmora::pst {

// Properties of one object, keyed by property ID (one value per ID, as in a PC).
using PropertyMap = std::map<uint16_t, PropValue>;

// What a PC or TC writer produced for its node: the heap's data tree and the subnodes that hold values too
// large for the heap. The caller adds any subnodes of its own (recipient table, attachments) and writes the
// node's subnode tree.
struct HeapOutput {
  Bid data = 0;
  std::vector<SubnodeEntry> subnodes;
};

// Writes a PC. Values up to 3,580 bytes go to the heap, larger ones (and every stream) to subnodes of type
// kNidTypeLtp allocated from `store`. PtypObject values are not written here (the caller owns those subnodes).
Result<HeapOutput> WritePropertyContext(NodeStore& store, const PropertyMap& props);

// Reads a PC from a node's data tree and subnodes. Values held in subnodes larger than `inline_limit` bytes
// come back as streams that read from the store when used.
Result<PropertyMap> ReadPropertyContext(NodeStore& store, Bid data, const std::vector<SubnodeEntry>& subnodes,
                                        uint64_t inline_limit = 1 << 20);

}  // namespace velmora::pst
