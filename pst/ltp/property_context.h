// Property contexts ([MS-PST] 2.3.3): a node's properties, kept in a BTree-on-heap keyed by property ID.
#pragma once

#include <functional>
#include <vector>

#include "pst/ltp/flat_map.h"
#include "pst/ltp/property.h"
#include "pst/ndb/node_store.h"

namespace velmora::pst {

// Properties of one object, keyed by property ID (one value per ID, as in a PC).
using PropertyMap = FlatMap<uint16_t, PropValue>;

// What a PC or TC writer produced for its node: the heap's data tree and the subnodes that hold values too
// large for the heap. The caller adds any subnodes of its own (recipient table, attachments) and writes the
// node's subnode tree.
struct HeapOutput {
  Bid data = 0;
  std::vector<SubnodeEntry> subnodes;
};

// Writes a PC. Values up to 3,580 bytes go to the heap, larger ones (and every non-empty stream, as Outlook
// does for the properties it writes as streams) to subnodes of type kNidTypeLtp allocated from `store`; a
// stream is read in pieces of one block, never whole. Empty values get HNID 0, as in Outlook's files.
// PtypObject values are the 8 bytes {subnode NID, size} ([MS-PST] 2.3.3.5), stored as given: the caller owns
// the object's subnode. Int16, Int32, Float32, ErrorCode and Boolean values must have exactly their fixed
// size (PropValue::Bool gives one byte).
Result<HeapOutput> WritePropertyContext(NodeStore& store, const PropertyMap& props);

// A PtypInteger32 property whose value follows from what the PC holds: the bytes of its heap's data tree
// plus those of the subnodes of its large values. The value is set once every value has its place and
// before the heap is written, so the PC is built once; it sits in its BTH record and never moves the layout.
struct HeldSizeProperty {
  uint16_t id = 0;                                 // present in the map, of type PtypInteger32
  std::function<int32_t(uint64_t held_bytes)> of;  // the value for what the PC holds
};
Result<HeapOutput> WritePropertyContext(NodeStore& store, const PropertyMap& props,
                                        const HeldSizeProperty& held_size);
// The same from values held elsewhere: (property ID, value) in ascending ID order, one entry an ID. A writer
// that lays values of its own over a message's writes them so without copying the message's.
using PropertyRefs = std::vector<std::pair<uint16_t, const PropValue*>>;
Result<HeapOutput> WritePropertyContext(NodeStore& store, const PropertyRefs& props,
                                        const HeldSizeProperty& held_size);

// Reads a PC from a node's data tree and subnodes. Values held in subnodes larger than `inline_limit` bytes
// come back as streams that read from the store when used (the store must outlive them).
Result<PropertyMap> ReadPropertyContext(NodeStore& store, Bid data, const std::vector<SubnodeEntry>& subnodes,
                                        uint64_t inline_limit = 1 << 20);

}  // namespace velmora::pst
