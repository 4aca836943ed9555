// The node database as the layers above see it: nodes (NBT entries) whose data and subnodes are block trees
// (BBT), written copy-on-write and made durable by Commit().
//
// References. Every Write* call returns a tree holding one reference that belongs to the caller. Handing the
// BID to WriteDataTree, WriteSubnodeTree or PutNode passes that reference on. A caller that drops a tree it
// wrote calls Release. AddRef lets several nodes share one tree (a new folder's empty tables reuse the data
// block of the table template, as Outlook does).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "pst/ndb/status.h"
#include "pst/ndb/types.h"

namespace velmora::pst {

// One NBT leaf entry ([MS-PST] 2.2.2.7.7.4).
struct NodeEntry {
  Nid nid = 0;
  Bid data = 0;    // data tree; 0 = the node has no data
  Bid sub = 0;     // subnode tree; 0 = no subnodes
  Nid parent = 0;  // parent folder of folders and messages, 0 for everything else
  bool operator==(const NodeEntry&) const = default;
};

// One SLENTRY ([MS-PST] 2.2.2.8.3.3.1.1): a subnode, local to the node that owns the subnode tree.
struct SubnodeEntry {
  Nid nid = 0;
  Bid data = 0;
  Bid sub = 0;
  bool operator==(const SubnodeEntry&) const = default;
};

// The largest payload of one data block: 8,192 bytes less the 16-byte block trailer ([MS-PST] 2.2.2.8.1).
constexpr size_t kMaxBlockData = 8192 - 16;

class NodeStore {
 public:
  virtual ~NodeStore() = default;

  // ---- Reading (sees everything written so far, committed or not).
  virtual Result<std::optional<NodeEntry>> FindNode(Nid nid) = 0;
  // Every node in ascending NID order; stops at the first error the callback returns.
  virtual Status ForEachNode(const std::function<Status(const NodeEntry&)>& fn) = 0;
  // The data blocks of a data tree (a data block, XBLOCK or XXBLOCK), in order; a data block gives itself.
  virtual Result<std::vector<Bid>> DataBlocks(Bid tree) = 0;
  // Total bytes of a data tree (lcbTotal of its root, or the block's size).
  virtual Result<uint64_t> DataTreeSize(Bid tree) = 0;
  // The decoded bytes of one data block.
  virtual Result<std::vector<uint8_t>> ReadDataBlock(Bid bid) = 0;
  // The entries of a subnode tree (SLBLOCK or SIBLOCK), in ascending NID order.
  virtual Result<std::vector<SubnodeEntry>> ReadSubnodes(Bid tree) = 0;

  // ---- Writing (durable at the next Commit).
  // A new data block holding `bytes` (at most kMaxBlockData).
  virtual Result<Bid> WriteDataBlock(std::span<const uint8_t> bytes) = 0;
  // A data tree over data blocks written before, in order; one block gives that block back, more give an
  // XBLOCK (or an XXBLOCK when they do not fit one XBLOCK). Takes over the blocks' references.
  virtual Result<Bid> WriteDataTree(std::span<const Bid> blocks) = 0;
  // A data tree whose blocks are the first `kept` blocks of `old_tree` followed by `added`, taking the place
  // of `old_tree`: takes over the caller's reference to `old_tree` and the added blocks' references. When
  // that reference was the old tree's last, the kept blocks (and whole XBLOCKs of them) pass to the new tree
  // with their counts untouched, so a tree that grows at its end costs its new blocks and the interior
  // blocks above them, not one count change per block; a shared old tree gives each kept block one more.
  virtual Result<Bid> ExtendDataTree(Bid old_tree, size_t kept, std::span<const Bid> added);
  // A subnode tree (SLBLOCK, or SIBLOCK over SLBLOCKs) over entries with unique NIDs, in any order.
  // Takes over the entries' references. No entries give 0.
  virtual Result<Bid> WriteSubnodeTree(std::span<const SubnodeEntry> entries) = 0;
  // Inserts the node or replaces the one with the same NID (releasing the trees the old entry held).
  // Takes over the references of entry.data and entry.sub. Keeps the header's next-NID counters above
  // every NID in use.
  virtual Status PutNode(const NodeEntry& entry) = 0;
  // Removes the node and releases its trees.
  virtual Status DeleteNode(Nid nid) = 0;
  virtual Status AddRef(Bid tree) = 0;
  // Drops one reference; a tree without references is freed with everything only it referenced. Its space
  // is reused only after the next commit.
  virtual Status Release(Bid tree) = 0;
  // A fresh NID of the type, from the header's counters (rgnid).
  virtual Result<Nid> AllocateNid(NidType type) = 0;
  // Makes everything written so far durable and the file a valid PST holding exactly this state.
  virtual Status Commit() = 0;
};

}  // namespace velmora::pst
