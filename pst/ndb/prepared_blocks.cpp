#include "pst/ndb/prepared_blocks.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "pst/ndb/crc.h"
#include "pst/ndb/format.h"

namespace velmora::pst {
namespace {

// Local NIDs carry this bit in their index, which no real store hands out this early (27-bit indexes): the
// handout number is below it.
constexpr uint32_t kLocalNidMark = 1u << 26;

Bid LocalBid(size_t item, bool internal) {
  return (static_cast<Bid>(item + 1) << 2) | (internal ? kBidInternalBit : 0);
}

size_t ItemOf(Bid bid) {
  return static_cast<size_t>((bid >> 2) - 1);
}

Status NotRecorded(const char* what) {
  return Status::Unsupported(std::string(what) + " is not recorded for a node made ahead");
}

}  // namespace

Status BlockRecorder::CheckOpen() const {
  return sealed_ ? Status::Unsupported("blocks made ahead are sealed") : Status::Ok();
}

Result<const BlockRecorder::Item*> BlockRecorder::Find(Bid bid) const {
  if ((bid >> 2) == 0 || ItemOf(bid) >= items_.size())
    return Status::NotFound("no recorded block " + Hex(bid));
  const Item& item = items_[ItemOf(bid)];
  if ((item.kind == Kind::kBlock) == IsInternalBid(bid))
    return Status::NotFound("no recorded block " + Hex(bid));
  return &item;
}

Result<BlockRecorder::Item*> BlockRecorder::FindBlock(Bid bid) {
  PST_ASSIGN_OR_RETURN(const Item* item, Find(bid));
  if (item->kind != Kind::kBlock) return Status::InvalidArgument(Hex(bid) + " is not a data block");
  return const_cast<Item*>(item);
}

Result<std::optional<NodeEntry>> BlockRecorder::FindNode(Nid) {
  return NotRecorded("a node lookup");
}

Status BlockRecorder::ForEachNode(const std::function<Status(const NodeEntry&)>&) {
  return NotRecorded("a node walk");
}

Result<std::vector<Bid>> BlockRecorder::DataBlocks(Bid tree) {
  PST_ASSIGN_OR_RETURN(const Item* item, Find(tree));
  if (item->kind == Kind::kBlock) return std::vector<Bid>{tree};
  if (item->kind != Kind::kTree) return Status::InvalidArgument(Hex(tree) + " is not a data tree");
  return item->children;
}

Result<uint64_t> BlockRecorder::DataTreeSize(Bid tree) {
  PST_ASSIGN_OR_RETURN(const Item* item, Find(tree));
  if (item->kind != Kind::kBlock && item->kind != Kind::kTree)
    return Status::InvalidArgument(Hex(tree) + " is not a data tree");
  return item->total;
}

Result<std::vector<uint8_t>> BlockRecorder::ReadDataBlock(Bid bid) {
  PST_ASSIGN_OR_RETURN(std::span<const uint8_t> plain, Plain(bid));
  return std::vector<uint8_t>(plain.begin(), plain.end());
}

Result<std::vector<SubnodeEntry>> BlockRecorder::ReadSubnodes(Bid tree) {
  PST_ASSIGN_OR_RETURN(const Item* item, Find(tree));
  if (item->kind != Kind::kSubnodes) return Status::InvalidArgument(Hex(tree) + " is not a subnode tree");
  std::vector<SubnodeEntry> sorted = item->entries;
  std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.nid < b.nid; });
  return sorted;
}

Result<Bid> BlockRecorder::WriteDataBlock(std::span<const uint8_t> bytes) {
  PST_RETURN_IF_ERROR(CheckOpen());
  if (bytes.size() > kMaxBlockData)
    return Status::InvalidArgument("block of " + std::to_string(bytes.size()) + " bytes is over 8176");
  Item item;
  item.bytes.assign(bytes.begin(), bytes.end());
  item.total = bytes.size();
  items_.push_back(std::move(item));
  ops_.push_back({Kind::kBlock, static_cast<uint32_t>(items_.size() - 1), 0});
  return LocalBid(items_.size() - 1, false);
}

Result<Bid> BlockRecorder::WriteDataTree(std::span<const Bid> blocks) {
  PST_RETURN_IF_ERROR(CheckOpen());
  if (blocks.empty()) return Status::InvalidArgument("a data tree needs at least one block");
  Item item;
  item.kind = Kind::kTree;
  for (Bid b : blocks) {
    PST_ASSIGN_OR_RETURN(const Item* child, Find(b));
    if (child->kind != Kind::kBlock) return Status::InvalidArgument("data tree child " + Hex(b));
    item.total += child->total;
  }
  item.children.assign(blocks.begin(), blocks.end());
  items_.push_back(std::move(item));
  ops_.push_back({Kind::kTree, static_cast<uint32_t>(items_.size() - 1), 0});
  // One block is its own tree, as in the store.
  return blocks.size() == 1 ? blocks[0] : LocalBid(items_.size() - 1, true);
}

Result<Bid> BlockRecorder::WriteSubnodeTree(std::span<const SubnodeEntry> entries) {
  PST_RETURN_IF_ERROR(CheckOpen());
  if (entries.empty()) return Bid{0};
  Item item;
  item.kind = Kind::kSubnodes;
  item.entries.assign(entries.begin(), entries.end());
  items_.push_back(std::move(item));
  ops_.push_back({Kind::kSubnodes, static_cast<uint32_t>(items_.size() - 1), 0});
  return LocalBid(items_.size() - 1, true);
}

Status BlockRecorder::PutNode(const NodeEntry&) {
  return NotRecorded("a node");
}

Status BlockRecorder::DeleteNode(Nid) {
  return NotRecorded("a node deletion");
}

Status BlockRecorder::AddRef(Bid tree) {
  PST_RETURN_IF_ERROR(CheckOpen());
  PST_RETURN_IF_ERROR(Find(tree).status());
  ops_.push_back({Kind::kAddRef, 0, tree});
  return Status::Ok();
}

Status BlockRecorder::Release(Bid tree) {
  PST_RETURN_IF_ERROR(CheckOpen());
  PST_RETURN_IF_ERROR(Find(tree & ~Bid{1}).status());
  ops_.push_back({Kind::kRelease, 0, tree});
  return Status::Ok();
}

Result<Nid> BlockRecorder::AllocateNid(NidType type) {
  PST_RETURN_IF_ERROR(CheckOpen());
  if (type >= 32 || nid_types_.size() >= kLocalNidMark)
    return Status::InvalidArgument("nidType " + std::to_string(type));
  ops_.push_back({Kind::kNid, static_cast<uint32_t>(nid_types_.size()), 0});
  nid_types_.push_back(type);
  return MakeNid(type, kLocalNidMark | static_cast<uint32_t>(nid_types_.size() - 1));
}

Status BlockRecorder::Commit() {
  return NotRecorded("a commit");
}

Result<std::span<const uint8_t>> BlockRecorder::Plain(Bid bid) const {
  PST_ASSIGN_OR_RETURN(const Item* item, Find(bid));
  if (item->kind != Kind::kBlock) return Status::InvalidArgument(Hex(bid) + " is not a data block");
  if (item->sealed) return Status::Unsupported("block " + Hex(bid) + " is sealed");
  return std::span<const uint8_t>(item->bytes);
}

Status BlockRecorder::MarkNid(Bid bid, size_t offset) {
  PST_RETURN_IF_ERROR(CheckOpen());
  PST_ASSIGN_OR_RETURN(Item * item, FindBlock(bid));
  if (offset + 4 > item->bytes.size()) return Status::InvalidArgument("NID mark past the block's end");
  const Nid local = Load32(item->bytes.data() + offset);
  if (!(NidIndexOf(local) & kLocalNidMark) || (NidIndexOf(local) & ~kLocalNidMark) >= nid_types_.size())
    return Status::InvalidArgument("no NID handed out at offset " + std::to_string(offset));
  item->marks.push_back({static_cast<uint32_t>(offset), 0});
  return Status::Ok();
}

Status BlockRecorder::MarkHole(Bid bid, size_t offset, size_t size) {
  PST_RETURN_IF_ERROR(CheckOpen());
  PST_ASSIGN_OR_RETURN(Item * item, FindBlock(bid));
  if (size == 0 || offset + size > item->bytes.size())
    return Status::InvalidArgument("hole past the block's end");
  item->marks.push_back({static_cast<uint32_t>(offset), static_cast<uint32_t>(size)});
  return Status::Ok();
}

size_t BlockRecorder::nid_marks() const {
  size_t n = 0;
  for (const Item& item : items_)
    for (const Mark& m : item.marks) n += m.size == 0;
  return n;
}

void BlockRecorder::Seal(std::optional<CryptMethod> encoding) {
  if (sealed_) return;
  sealed_ = true;
  encoding_ = encoding;
  if (!encoding) return;
  for (Item& item : items_) {
    if (item.kind != Kind::kBlock) continue;
    EncodeBlockData(*encoding, 0, item.bytes);  // none and permute do not look at the BID
    item.sealed = true;
    // A marked block's CRC is taken once its marks are filled.
    if (item.marks.empty()) item.crc = Crc32(item.bytes);
  }
}

uint64_t BlockRecorder::held_bytes() const {
  uint64_t n = items_.capacity() * sizeof(Item) + ops_.capacity() * sizeof(Op);
  for (const Item& item : items_)
    n += item.bytes.capacity() + item.children.capacity() * sizeof(Bid) +
         item.entries.capacity() * sizeof(SubnodeEntry) + item.marks.capacity() * sizeof(Mark);
  return n;
}

Bid BlockRecorder::Placed::Real(Bid local) const {
  if (local == 0) return 0;
  const size_t i = ItemOf(local);
  return i < bids.size() ? (bids[i] | (local & 1)) : 0;
}

Nid BlockRecorder::Placed::RealNid(Nid local) const {
  const uint32_t index = NidIndexOf(local);
  if (!(index & kLocalNidMark)) return local;  // a fixed NID (the recipient table's, say)
  const size_t j = index & ~kLocalNidMark;
  return j < nids.size() ? nids[j] : 0;
}

Result<BlockRecorder::Placed> BlockRecorder::Place(NodeStore& store, std::span<const uint8_t> fill) const {
  if (!sealed_) return Status::InvalidArgument("blocks made ahead are placed once sealed");
  Placed placed;
  placed.bids.assign(items_.size(), 0);
  placed.nids.reserve(nid_types_.size());
  // The references the replay holds, by real BID: a written block or tree holds one until a tree takes it
  // over or it is released; on failure they are given back.
  // A handful a message: a vector searched from its end, where the last blocks written are.
  std::vector<std::pair<Bid, int>> held;
  auto give_back = [&](Status why) -> Status {
    for (auto it = held.rbegin(); it != held.rend(); ++it)
      for (int k = 0; k < it->second; ++k) (void)store.Release(it->first);
    return why;
  };
  auto find = [&](Bid real) {
    auto it = held.rbegin();
    while (it != held.rend() && it->first != real) ++it;
    return it;
  };
  auto hold = [&](Bid real) {
    if (auto it = find(real); it != held.rend()) {
      ++it->second;
    } else {
      held.emplace_back(real, 1);
    }
  };
  auto take = [&](Bid real) {
    auto it = find(real);
    if (!real || it == held.rend() || --it->second > 0) return;
    held.erase(std::next(it).base());
  };
  size_t filled = 0;
  std::vector<uint8_t> bytes;
  for (const Op& op : ops_) {
    Result<Bid> made = Bid{0};
    switch (op.kind) {
      case Kind::kBlock: {
        const Item& item = items_[op.item];
        if (item.sealed && item.marks.empty()) {
          made = store.WriteEncodedDataBlock(item.bytes, item.crc);
          break;
        }
        // Marked: filled in as stored (the encoding works byte by byte), then its CRC taken.
        bytes = item.bytes;
        for (const Mark& m : item.marks) {
          uint8_t* at = bytes.data() + m.offset;
          std::array<uint8_t, 4> nid;
          std::span<const uint8_t> value;
          if (m.size == 0) {
            std::memcpy(nid.data(), at, nid.size());
            if (item.sealed) DecodeBlockData(*encoding_, 0, nid);
            const Nid real = placed.RealNid(Load32(nid.data()));
            if (real == 0)
              return give_back(Status::InvalidArgument("a NID mark names a NID not handed out yet"));
            Store32(nid.data(), real);
            value = nid;
          } else {
            if (filled + m.size > fill.size())
              return give_back(Status::InvalidArgument("too few bytes to fill"));
            value = fill.subspan(filled, m.size);
            filled += m.size;
          }
          std::memcpy(at, value.data(), value.size());
          if (item.sealed) EncodeBlockData(*encoding_, 0, std::span<uint8_t>(at, value.size()));
        }
        made = item.sealed ? store.WriteEncodedDataBlock(bytes, Crc32(bytes)) : store.WriteDataBlock(bytes);
        break;
      }
      case Kind::kTree: {
        std::vector<Bid> children;
        children.reserve(items_[op.item].children.size());
        for (Bid c : items_[op.item].children) children.push_back(placed.Real(c));
        made = store.WriteDataTree(children);
        if (made.ok())
          for (Bid c : children) take(c);
        break;
      }
      case Kind::kSubnodes: {
        std::vector<SubnodeEntry> entries = items_[op.item].entries;
        for (SubnodeEntry& e : entries) {
          e.nid = placed.RealNid(e.nid);
          e.data = placed.Real(e.data);
          e.sub = placed.Real(e.sub);
        }
        made = store.WriteSubnodeTree(entries);
        if (made.ok())
          for (const SubnodeEntry& e : entries) take(e.data), take(e.sub);
        break;
      }
      case Kind::kAddRef: {
        const Bid real = placed.Real(op.target);
        if (Status st = store.AddRef(real); !st.ok()) return give_back(st);
        hold(real & ~Bid{1});
        continue;
      }
      case Kind::kRelease: {
        const Bid real = placed.Real(op.target);
        if (Status st = store.Release(real); !st.ok()) return give_back(st);
        take(real & ~Bid{1});
        continue;
      }
      case Kind::kNid: {
        auto nid = store.AllocateNid(nid_types_[op.item]);
        if (!nid.ok()) return give_back(nid.status());
        placed.nids.push_back(*nid);
        continue;
      }
    }
    if (!made.ok()) return give_back(made.status());
    placed.bids[op.item] = *made;
    if (*made) hold(*made);
  }
  return placed;
}

}  // namespace velmora::pst
