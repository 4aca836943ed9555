#include "pst/ltp/value_store.h"

#include "pst/ltp/data_tree.h"

namespace velmora::pst {

Result<uint32_t> ValueStore::Put(const PropValue& value) {
  if (value.Size() == 0) return uint32_t{0};
  if (value.stream) return PutSubnode(*value.stream);
  if (value.bytes.size() <= kMaxHeapAllocation) return heap_.Allocate(value.bytes);
  return PutSubnode(MemoryByteSource(value.bytes));
}

Result<Nid> ValueStore::PutSubnode(const ByteSource& source) {
  PST_ASSIGN_OR_RETURN(Bid tree, WriteDataTreeFrom(store_, source));
  return PutSubnode(tree);
}

Result<Nid> ValueStore::PutSubnode(Bid tree) {
  auto nid = store_.AllocateNid(kNidTypeLtp);
  if (!nid.ok()) {
    (void)store_.Release(tree);
    return nid.status();
  }
  subnodes_.push_back(SubnodeEntry{*nid, tree, 0});
  return *nid;
}

Status ValueStore::Abandon(Status why) {
  for (const auto& e : subnodes_) (void)store_.Release(e.data);
  subnodes_.clear();
  return why;
}

Result<HeapOutput> ValueStore::Finish() {
  auto data = heap_.Finish(store_);
  if (!data.ok()) return Abandon(data.status());
  HeapOutput out;
  out.data = *data;
  out.subnodes = std::move(subnodes_);
  subnodes_.clear();
  return out;
}

ValueReader::ValueReader(NodeStore& store, const HeapReader& heap, const std::vector<SubnodeEntry>& subnodes)
    : store_(store), heap_(heap) {
  for (const auto& e : subnodes) subnodes_.emplace(e.nid, e);
}

Result<SubnodeEntry> ValueReader::Subnode(Nid nid, const std::string& what) const {
  auto it = subnodes_.find(nid);
  if (it == subnodes_.end() || it->second.data == 0)
    return Status::Corruption(heap_.what() + ": " + what + " names subnode " + Hex(nid) +
                              ", which is missing");
  return it->second;
}

Result<PropValue> ValueReader::Get(uint16_t type, uint32_t hnid, uint64_t inline_limit,
                                   const std::string& what) const {
  PropValue value;
  value.type = type;
  if (hnid == 0) return value;  // no allocation: an empty value
  if (HidType(hnid) == kNidTypeHid) {
    auto bytes = heap_.Get(hnid);
    if (!bytes.ok()) return Status::Corruption(bytes.status().message() + " (" + what + ")");
    value.bytes.assign(bytes->begin(), bytes->end());
    return value;
  }
  PST_ASSIGN_OR_RETURN(SubnodeEntry sub, Subnode(hnid, what));
  const std::string where = heap_.what() + ": " + what + " in subnode " + Hex(hnid);
  PST_ASSIGN_OR_RETURN(uint64_t size, store_.DataTreeSize(sub.data));
  if (size > inline_limit) {
    PST_ASSIGN_OR_RETURN(value.stream, OpenDataTree(store_, sub.data, where));
  } else {
    PST_ASSIGN_OR_RETURN(value.bytes, ReadDataTree(store_, sub.data, inline_limit, where));
  }
  return value;
}

}  // namespace velmora::pst
