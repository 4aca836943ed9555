// The blocks of one node made apart from the store, on any thread, and placed into the store later.
//
// A BlockRecorder is a NodeStore that writes nothing: it keeps every block a writer gives it under a local
// BID and every call that changes a store (block, data tree, subnode tree, reference, NID) in order. Reads
// see what was recorded. Seal then encodes each data block and takes its CRC, which depends on neither BID
// nor file offset (the trailer that holds those is made when the block is placed), so only that work is
// left for Place.
//
// Place replays the recorded calls on the real store in the same order, so the store hands out the same
// BIDs and NIDs and allocates the same space as if the writer had written there itself: the file is the
// same byte for byte. The local BIDs and NIDs in the recorded subnode entries and data trees are replaced
// by the real ones. Bytes inside a data block that depend on a real ID or are known only at placement are
// marked (MarkNid, MarkHole): such a block is filled as stored when it is placed (the encodings that do not
// depend on the BID work byte by byte), and its CRC taken then.
//
// What the recorder refuses (nodes, commits, blocks it did not record) makes the writer fail: a caller then
// writes into the store directly instead.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "pst/ndb/node_store.h"

namespace velmora::pst {

class BlockRecorder final : public NodeStore {
 public:
  Result<std::optional<NodeEntry>> FindNode(Nid nid) override;
  Status ForEachNode(const std::function<Status(const NodeEntry&)>& fn) override;
  Result<std::vector<Bid>> DataBlocks(Bid tree) override;
  Result<uint64_t> DataTreeSize(Bid tree) override;
  Result<std::vector<uint8_t>> ReadDataBlock(Bid bid) override;
  Result<std::vector<SubnodeEntry>> ReadSubnodes(Bid tree) override;
  Result<Bid> WriteDataBlock(std::span<const uint8_t> bytes) override;
  Result<Bid> WriteDataTree(std::span<const Bid> blocks) override;
  Result<Bid> WriteSubnodeTree(std::span<const SubnodeEntry> entries) override;
  Status PutNode(const NodeEntry& entry) override;
  Status DeleteNode(Nid nid) override;
  Status AddRef(Bid tree) override;
  Status Release(Bid tree) override;
  Result<Nid> AllocateNid(NidType type) override;
  Status Commit() override;

  // The plain bytes of a recorded data block (valid until Seal).
  Result<std::span<const uint8_t>> Plain(Bid bid) const;
  // The 4 bytes at `offset` of data block `bid` hold a NID this recorder handed out: the real one goes there.
  Status MarkNid(Bid bid, size_t offset);
  // `size` bytes at `offset` of data block `bid` are filled at placement, from Place's `fill` in the order
  // of the marks.
  Status MarkHole(Bid bid, size_t offset, size_t size);
  // How many NIDs were handed out, and how many MarkNid marks name one.
  size_t nids_handed_out() const { return nid_types_.size(); }
  size_t nid_marks() const;

  // Encodes every data block with `encoding` and takes the CRC of the unmarked ones (nullopt: none are
  // encoded, the store encodes them when placed). Nothing can be recorded afterwards.
  void Seal(std::optional<CryptMethod> encoding);
  // Memory held: block bytes and records.
  uint64_t held_bytes() const;

  // The real IDs of the recorded ones once placed.
  struct Placed {
    std::vector<Bid> bids;  // by local index
    std::vector<Nid> nids;  // by handout order
    Bid Real(Bid local) const;
    Nid RealNid(Nid local) const;
  };
  // Replays the recorded calls on `store` (see above); `fill` holds the bytes of the holes, in mark order.
  // On failure the references the replay held are given back.
  Result<Placed> Place(NodeStore& store, std::span<const uint8_t> fill) const;

 private:
  enum class Kind : uint8_t { kBlock, kTree, kSubnodes, kAddRef, kRelease, kNid };
  struct Mark {
    uint32_t offset = 0;
    uint32_t size = 0;  // 0: a NID
  };
  struct Item {
    Kind kind = Kind::kBlock;
    std::vector<uint8_t> bytes;         // kBlock: plain, or stored once sealed
    std::vector<Mark> marks;            // kBlock: ascending offsets
    uint32_t crc = 0;                   // kBlock, sealed
    bool sealed = false;                // kBlock: `bytes` are stored bytes and `crc` is theirs
    std::vector<Bid> children;          // kTree
    std::vector<SubnodeEntry> entries;  // kSubnodes
    uint64_t total = 0;                 // kBlock, kTree: data bytes below
  };
  struct Op {
    Kind kind = Kind::kBlock;
    uint32_t item = 0;  // kBlock, kTree, kSubnodes: the item made; kNid: the handout
    Bid target = 0;     // kAddRef, kRelease
  };

  Result<const Item*> Find(Bid bid) const;
  Result<Item*> FindBlock(Bid bid);
  Status CheckOpen() const;

  std::vector<Item> items_;
  std::vector<Op> ops_;
  std::vector<NidType> nid_types_;
  std::optional<CryptMethod> encoding_;
  bool sealed_ = false;
};

}  // namespace velmora::pst
