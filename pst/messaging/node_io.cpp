#include "pst/messaging/node_io.h"

#include <cstdio>

namespace velmora::pst {

namespace {

Status PutHeap(NodeStore& store, Nid nid, Nid parent, HeapOutput out) {
  Bid sub = 0;
  if (!out.subnodes.empty()) {
    auto written = store.WriteSubnodeTree(out.subnodes);
    if (!written.ok()) {
      (void)store.Release(out.data);
      return written.status();
    }
    sub = *written;
  }
  return store.PutNode(NodeEntry{nid, out.data, sub, parent});
}

Result<std::vector<SubnodeEntry>> SubnodesOf(NodeStore& store, const NodeEntry& e) {
  if (e.sub == 0) return std::vector<SubnodeEntry>();
  return store.ReadSubnodes(e.sub);
}

}  // namespace

std::string NidText(Nid nid) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", nid);
  return buf;
}

Status PutPropertyNode(NodeStore& store, Nid nid, Nid parent, const PropertyMap& props) {
  PST_ASSIGN_OR_RETURN(HeapOutput out, WritePropertyContext(store, props));
  return PutHeap(store, nid, parent, std::move(out));
}

Status PutTableNode(NodeStore& store, Nid nid, const Table& table) {
  PST_ASSIGN_OR_RETURN(HeapOutput out, WriteTableContext(store, table));
  return PutHeap(store, nid, 0, std::move(out));
}

Status PutSharedNode(NodeStore& store, Nid nid, Nid shared) {
  PST_ASSIGN_OR_RETURN(NodeEntry src, GetNode(store, shared));
  if (src.sub != 0) return Status::InvalidArgument("template node " + NidText(shared) + " has subnodes");
  if (src.data != 0) PST_RETURN_IF_ERROR(store.AddRef(src.data));
  return store.PutNode(NodeEntry{nid, src.data, 0, 0});
}

Status PutEmptyNode(NodeStore& store, Nid nid, Nid parent) {
  return store.PutNode(NodeEntry{nid, 0, 0, parent});
}

Status PutRawNode(NodeStore& store, Nid nid, Nid parent, std::span<const uint8_t> bytes) {
  if (bytes.empty()) return PutEmptyNode(store, nid, parent);
  std::vector<Bid> blocks;
  for (size_t at = 0; at < bytes.size(); at += kMaxBlockData) {
    auto b = store.WriteDataBlock(bytes.subspan(at, std::min(kMaxBlockData, bytes.size() - at)));
    if (!b.ok()) {
      for (Bid done : blocks) (void)store.Release(done);
      return b.status();
    }
    blocks.push_back(*b);
  }
  PST_ASSIGN_OR_RETURN(Bid tree, store.WriteDataTree(blocks));
  return store.PutNode(NodeEntry{nid, tree, 0, parent});
}

Result<NodeEntry> GetNode(NodeStore& store, Nid nid) {
  PST_ASSIGN_OR_RETURN(auto found, store.FindNode(nid));
  if (!found) return Status::NotFound("node " + NidText(nid) + " does not exist");
  return *found;
}

Result<PropertyMap> ReadPropertyNode(NodeStore& store, Nid nid) {
  PST_ASSIGN_OR_RETURN(NodeEntry e, GetNode(store, nid));
  if (e.data == 0) return Status::Corruption("property context " + NidText(nid) + " has no data");
  PST_ASSIGN_OR_RETURN(auto subs, SubnodesOf(store, e));
  auto props = ReadPropertyContext(store, e.data, subs);
  if (!props.ok()) return InNode(nid, props.status());
  return props;
}

Result<Table> ReadTableNode(NodeStore& store, Nid nid) {
  PST_ASSIGN_OR_RETURN(NodeEntry e, GetNode(store, nid));
  if (e.data == 0) return Status::Corruption("table context " + NidText(nid) + " has no data");
  PST_ASSIGN_OR_RETURN(auto subs, SubnodesOf(store, e));
  auto table = ReadTableContext(store, e.data, subs);
  if (!table.ok()) return InNode(nid, table.status());
  return table;
}

Result<std::unique_ptr<TableRowReader>> OpenTableNode(NodeStore& store, Nid nid) {
  PST_ASSIGN_OR_RETURN(NodeEntry e, GetNode(store, nid));
  if (e.data == 0) return Status::Corruption("table context " + NidText(nid) + " has no data");
  PST_ASSIGN_OR_RETURN(auto subs, SubnodesOf(store, e));
  auto reader = TableRowReader::Open(store, e.data, subs);
  if (!reader.ok()) return InNode(nid, reader.status());
  return reader;
}

Status InNode(Nid nid, const Status& s) {
  return s.IsCorruption() ? Status::Corruption("node " + NidText(nid) + ": " + s.message()) : s;
}

Result<std::vector<uint8_t>> ReadRawNode(NodeStore& store, Nid nid) {
  PST_ASSIGN_OR_RETURN(NodeEntry e, GetNode(store, nid));
  std::vector<uint8_t> out;
  if (e.data == 0) return out;
  PST_ASSIGN_OR_RETURN(auto blocks, store.DataBlocks(e.data));
  for (Bid b : blocks) {
    PST_ASSIGN_OR_RETURN(auto bytes, store.ReadDataBlock(b));
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

}  // namespace velmora::pst
