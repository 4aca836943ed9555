// Reading and writing the property and table contexts that make up messaging objects: one top-level node
// each, its heap in the node's data tree and large values in its subnodes.
#pragma once

#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"

namespace velmora::pst {

// Replaces node `nid` by a PC holding `props`.
Status PutPropertyNode(NodeStore& store, Nid nid, Nid parent, const PropertyMap& props);
// Replaces node `nid` by a TC holding `table`.
Status PutTableNode(NodeStore& store, Nid nid, const Table& table);
// Points node `nid` at the data tree of node `shared` (an empty table template), as Outlook does for the
// tables of a new folder; the tree gains a reference.
Status PutSharedNode(NodeStore& store, Nid nid, Nid shared);
// An empty node (no data, no subnodes), as Outlook writes for empty queues.
Status PutEmptyNode(NodeStore& store, Nid nid, Nid parent = 0);
// Replaces node `nid` by raw bytes (split into data blocks), for nodes that are neither PC nor TC.
Status PutRawNode(NodeStore& store, Nid nid, Nid parent, std::span<const uint8_t> bytes);

// The node's entry; NotFound naming the NID when absent.
Result<NodeEntry> GetNode(NodeStore& store, Nid nid);
Result<PropertyMap> ReadPropertyNode(NodeStore& store, Nid nid);
Result<Table> ReadTableNode(NodeStore& store, Nid nid);
// The TC of node `nid` read row by row, for tables too large to hold (see TableRowReader).
Result<std::unique_ptr<TableRowReader>> OpenTableNode(NodeStore& store, Nid nid);
// Corruption found in node `nid`'s contexts, named after the node ("node 0x8022: ..."); other codes as
// they are.
Status InNode(Nid nid, const Status& s);
// The node's data as bytes (empty when the node has no data).
Result<std::vector<uint8_t>> ReadRawNode(NodeStore& store, Nid nid);

std::string NidText(Nid nid);  // "0x8022"

}  // namespace velmora::pst
