// Writing through the NodeStore calls: blocks go to the file at once, the B-trees change in memory.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "pst/ndb/node_database.h"

namespace velmora::pst {
namespace {

// A block written through the API starts with the base count and the caller's reference.
constexpr uint16_t kNewBlockRefs = 2;

bool IsIoFailure(const Status& s) {
  return s.code() == Code::kIoError || s.code() == Code::kNoSpace;
}

}  // namespace

Result<Bid> NodeDatabase::NextBlockBid(bool internal) {
  // BIDs step by 4 (the two low bits are reserved and fInternal) and are never reused.
  if (next_.bid_next_b >= (uint64_t{1} << 62)) return Status::NoSpace("block IDs exhausted");
  Bid bid = next_.bid_next_b | (internal ? kBidInternalBit : 0);
  next_.bid_next_b += 4;
  return bid;
}

Result<Bid> NodeDatabase::WriteBlock(std::span<const uint8_t> payload, bool internal) {
  PST_RETURN_IF_ERROR(CheckWritable());
  if (payload.size() > kMaxBlockPayload)
    return Status::InvalidArgument("block of " + std::to_string(payload.size()) + " bytes is over 8176");
  PST_ASSIGN_OR_RETURN(Bid bid, NextBlockBid(internal));
  auto ib = Allocate(BlockDiskSize(payload.size()), kBlockAlign);
  if (!ib.ok()) return ib.status();
  // The image is built in one buffer kept between blocks: the payload is copied (and encoded) once, and
  // only the padding is zeroed.
  block_image_.resize(BlockDiskSize(payload.size()));
  if (internal) {
    if (!payload.empty()) std::memcpy(block_image_.data(), payload.data(), payload.size());
  } else {
    EncodeBlockData(crypt_, bid, payload, block_image_.data());
  }
  SealBlockImage(block_image_, payload.size(), bid, *ib);
  Status st = file_->WriteAt(*ib, block_image_);
  if (!st.ok()) return Fail(st);
  changed_ = true;
  PST_RETURN_IF_ERROR(
      TreeResult(bbt_.Upsert({bid, *ib, static_cast<uint16_t>(payload.size()), kNewBlockRefs})).status());
  return bid;
}

Result<Bid> NodeDatabase::WriteDataBlock(std::span<const uint8_t> bytes) {
  return WriteBlock(bytes, false);
}

Result<Bid> NodeDatabase::WriteDataTree(std::span<const Bid> blocks) {
  PST_RETURN_IF_ERROR(CheckWritable());
  if (blocks.empty()) return Status::InvalidArgument("a data tree needs at least one block");
  if (blocks.size() > kXBlockMaxEntries * kXBlockMaxEntries)
    return Status::InvalidArgument("data tree of " + std::to_string(blocks.size()) + " blocks is too large");
  uint64_t total = 0;
  std::vector<uint32_t> sizes;
  for (Bid b : blocks) {
    if (IsInternalBid(b))
      return Status::InvalidArgument("data tree child " + Hex(b) + " is not a data block");
    PST_ASSIGN_OR_RETURN(BbtEntry e, LookupBlock(b, "data block"));
    total += e.cb;
    sizes.push_back(e.cb);
  }
  if (total > UINT32_MAX) return Status::InvalidArgument("data tree over 4 GB (lcbTotal is 32 bits)");
  if (blocks.size() == 1) return blocks[0];
  if (blocks.size() <= kXBlockMaxEntries)
    return WriteBlock(MakeXBlock(1, static_cast<uint32_t>(total), blocks), true);
  std::vector<Bid> xblocks;
  for (size_t i = 0; i < blocks.size(); i += kXBlockMaxEntries) {
    size_t n = std::min(kXBlockMaxEntries, blocks.size() - i);
    uint32_t part = 0;
    for (size_t k = i; k < i + n; ++k) part += sizes[k];
    PST_ASSIGN_OR_RETURN(Bid x, WriteBlock(MakeXBlock(1, part, blocks.subspan(i, n)), true));
    xblocks.push_back(x);
  }
  return WriteBlock(MakeXBlock(2, static_cast<uint32_t>(total), xblocks), true);
}

Result<Bid> NodeDatabase::WriteSubnodeTree(std::span<const SubnodeEntry> entries) {
  PST_RETURN_IF_ERROR(CheckWritable());
  if (entries.empty()) return Bid{0};
  std::vector<SubnodeEntry> sorted(entries.begin(), entries.end());
  std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.nid < b.nid; });
  for (size_t i = 0; i < sorted.size(); ++i) {
    if (sorted[i].nid == 0) return Status::InvalidArgument("subnode NID 0");
    if (i > 0 && sorted[i].nid == sorted[i - 1].nid)
      return Status::InvalidArgument("duplicate subnode NID " + Hex(sorted[i].nid));
    if (sorted[i].data) PST_RETURN_IF_ERROR(LookupBlock(sorted[i].data, "subnode data").status());
    if (sorted[i].sub) PST_RETURN_IF_ERROR(LookupBlock(sorted[i].sub, "subnode tree").status());
  }
  std::span<const SubnodeEntry> all(sorted);
  if (all.size() <= kSlBlockMaxEntries) return WriteBlock(MakeSlBlock(all), true);
  if (all.size() > kSlBlockMaxEntries * kSiBlockMaxEntries)
    return Status::InvalidArgument("too many subnodes: " + std::to_string(all.size()));
  std::vector<SiEntry> leaves;
  for (size_t i = 0; i < all.size(); i += kSlBlockMaxEntries) {
    auto part = all.subspan(i, std::min(kSlBlockMaxEntries, all.size() - i));
    PST_ASSIGN_OR_RETURN(Bid sl, WriteBlock(MakeSlBlock(part), true));
    leaves.push_back({part.front().nid, sl});
  }
  return WriteBlock(MakeSiBlock(leaves), true);
}

Status NodeDatabase::PutNode(const NodeEntry& entry) {
  PST_RETURN_IF_ERROR(CheckWritable());
  if (entry.nid == 0) return Status::InvalidArgument("NID 0");
  if (entry.data) PST_RETURN_IF_ERROR(LookupBlock(entry.data, "node data").status());
  if (entry.sub) {
    if (!IsInternalBid(entry.sub))
      return Status::InvalidArgument("subnode tree " + Hex(entry.sub) + " is a data block");
    PST_RETURN_IF_ERROR(LookupBlock(entry.sub, "subnode tree").status());
  }
  changed_ = true;
  PST_ASSIGN_OR_RETURN(std::optional<NodeEntry> old, TreeResult(nbt_.Upsert(entry)));
  uint32_t& next = next_.rgnid[NidTypeOf(entry.nid)];
  next = std::max(next, NidIndexOf(entry.nid));
  if (old) {
    if (old->data) PST_RETURN_IF_ERROR(Release(old->data));
    if (old->sub) PST_RETURN_IF_ERROR(Release(old->sub));
  }
  return Status::Ok();
}

Status NodeDatabase::DeleteNode(Nid nid) {
  PST_RETURN_IF_ERROR(CheckWritable());
  PST_ASSIGN_OR_RETURN(std::optional<NodeEntry> old, TreeResult(nbt_.Erase(nid)));
  if (!old) return Status::NotFound("node " + Hex(nid));
  changed_ = true;
  if (old->data) PST_RETURN_IF_ERROR(Release(old->data));
  if (old->sub) PST_RETURN_IF_ERROR(Release(old->sub));
  return Status::Ok();
}

Status NodeDatabase::AddRef(Bid tree) {
  PST_RETURN_IF_ERROR(CheckWritable());
  PST_ASSIGN_OR_RETURN(BbtEntry e, LookupBlock(tree, "block"));
  if (e.cref == UINT16_MAX) return Status::NoSpace("block " + Hex(tree) + " has 65535 references");
  ++e.cref;
  changed_ = true;
  PST_RETURN_IF_ERROR(TreeResult(bbt_.Upsert(e)).status());
  return Status::Ok();
}

Status NodeDatabase::Release(Bid tree) {
  PST_RETURN_IF_ERROR(CheckWritable());
  std::vector<Bid> todo{tree & ~uint64_t{1}};
  while (!todo.empty()) {
    Bid bid = todo.back();
    todo.pop_back();
    PST_ASSIGN_OR_RETURN(BbtEntry e, LookupBlock(bid, "block"));
    if (e.cref <= 1) return Status::Corruption(BlockName(e.bid, e.ib) + ": released with no reference left");
    changed_ = true;
    if (e.cref > 2) {
      --e.cref;
      PST_RETURN_IF_ERROR(TreeResult(bbt_.Upsert(e)).status());
      continue;
    }
    if (IsInternalBid(bid)) {  // read the children before the block goes
      auto payload = ReadBlock(e);
      if (!payload.ok()) return IsIoFailure(payload.status()) ? Fail(payload.status()) : payload.status();
      PST_ASSIGN_OR_RETURN(InternalBlock b, ParseInternalBlock(*payload, e.bid, e.ib));
      for (Bid c : b.children) todo.push_back(c);
      for (const auto& s : b.sl) {
        if (s.data) todo.push_back(s.data);
        if (s.sub) todo.push_back(s.sub);
      }
      for (const auto& s : b.si) todo.push_back(s.bid);
    }
    PST_RETURN_IF_ERROR(TreeResult(bbt_.Erase(bid)).status());
    // A block written since the last commit (its BID is not below the durable bidNextB) is reached by no
    // durable state: its space is free at once, and the next writes fill it, so a message abandoned after
    // its blocks were written leaves no hole the file keeps growing past.
    if ((e.bid & ~uint64_t{3}) >= header_.bid_next_b)
      space_->FreeNow(e.ib, BlockDiskSize(e.cb));
    else
      space_->FreeLater(e.ib, BlockDiskSize(e.cb));  // [C2]
  }
  return Status::Ok();
}

Result<Nid> NodeDatabase::AllocateNid(NidType type) {
  PST_RETURN_IF_ERROR(CheckWritable());
  if (type >= 32) return Status::InvalidArgument("nidType " + std::to_string(type));
  // rgnid holds the last index handed out (Outlook's files: every index in use <= rgnid, the first folder
  // of a new file is 0x401), so the next one is one above it.
  uint32_t& last = next_.rgnid[type];
  if (last + 1 >= (1u << 27))
    return Status::NoSpace("NID indexes of type " + std::to_string(type) + " exhausted");
  changed_ = true;
  return MakeNid(type, ++last);
}

}  // namespace velmora::pst
