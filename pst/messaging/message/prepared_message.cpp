#include "pst/messaging/message/prepared_message.h"

#include <algorithm>
#include <set>

#include "fsutil/now.h"
#include "pst/ltp/heap.h"
#include "pst/ndb/format.h"
#include "pst/tags/prop_tags.h"

namespace velmora::pst {

namespace {

constexpr size_t kSearchKeySize = 16;

// Marks the bytes at `offset` of allocation `hid` of the PC heap whose blocks are `heap`.
Status MarkInHeap(BlockRecorder& blocks, const std::vector<Bid>& heap, Hid hid, size_t offset, bool nid) {
  const size_t i = HidBlockIndex(hid);
  if (i >= heap.size()) return Status::InvalidArgument("PC allocation " + Hex(hid) + " outside its heap");
  PST_ASSIGN_OR_RETURN(std::span<const uint8_t> plain, blocks.Plain(heap[i]));
  PST_ASSIGN_OR_RETURN(size_t at, AllocationOffset(plain, hid, "message PC made ahead"));
  return nid ? blocks.MarkNid(heap[i], at + offset) : blocks.MarkHole(heap[i], at, kSearchKeySize);
}

}  // namespace

Result<PreparedMessage> PrepareMessage(const MessageContent& content, const NamedIdResolver& names,
                                       const MessageWriteOptions& options, TableScratch* scratch,
                                       std::optional<CryptMethod> encoding) {
  // Attachments take NIDs of their own (and are the large part of a message): written by the store writer.
  if (!content.attachments.empty()) return Status::Unsupported("a message with attachments");
  PreparedMessage out;
  MessageWriteOptions own = options;
  int draws = 0;
  own.search_key = [&draws] {
    ++draws;
    return std::array<uint8_t, kSearchKeySize>{};
  };
  PcPlaces places;
  places.watch_id = TagId(tags::kSearchKey);
  PST_ASSIGN_OR_RETURN(out.written, WriteMessage(out.blocks, content, names, own, scratch, {}, &places));
  if (draws > 1 || (draws == 1 && places.watched == 0))
    return Status::Unsupported("search keys other than the message's own");
  PST_ASSIGN_OR_RETURN(std::vector<Bid> heap, out.blocks.DataBlocks(out.written.data));
  std::set<Nid> named;
  for (const PcPlaces::At& at : places.subnode_nids) {
    PST_RETURN_IF_ERROR(MarkInHeap(out.blocks, heap, at.allocation, at.offset, true));
  }
  // Every NID handed out must be one the PC names, each once: a NID anywhere else (an attachment's row, a
  // table's subnode) would be left unplaced.
  for (const PcPlaces::At& at : places.subnode_nids) {
    PST_ASSIGN_OR_RETURN(std::span<const uint8_t> plain,
                         out.blocks.Plain(heap[HidBlockIndex(at.allocation)]));
    PST_ASSIGN_OR_RETURN(size_t base, AllocationOffset(plain, at.allocation, "message PC made ahead"));
    named.insert(Load32(plain.data() + base + at.offset));
  }
  if (named.size() != places.subnode_nids.size() || named.size() != out.blocks.nids_handed_out())
    return Status::Unsupported("NIDs outside the message PC");
  if (draws == 1) {
    PST_RETURN_IF_ERROR(MarkInHeap(out.blocks, heap, places.watched, 0, false));
    out.fills_search_key = true;
  }
  out.blocks.Seal(encoding);
  out.encoding = encoding;
  out.held_bytes = out.blocks.held_bytes();
  for (const auto& [id, value] : out.written.row_props) out.held_bytes += 64 + value.bytes.capacity();
  return out;
}

bool PreparedFits(const NodeStore& store, const PreparedMessage& prepared) {
  return !prepared.encoding || prepared.encoding == store.AheadEncoding();
}

Result<WrittenMessage> PlacePreparedMessage(NodeStore& store, const PreparedMessage& prepared,
                                            const MessageWriteOptions& options,
                                            std::span<const PropTag> row_columns) {
  if (!PreparedFits(store, prepared))
    return Status::InvalidArgument("blocks made ahead with another encoding than the store's");
  std::array<uint8_t, kSearchKeySize> key{};
  std::span<const uint8_t> fill;
  if (prepared.fills_search_key) {
    if (options.search_key) {
      key = options.search_key();
    } else {
      fsutil::RandomBytes(key);
    }
    fill = key;
  }
  PST_ASSIGN_OR_RETURN(BlockRecorder::Placed placed, prepared.blocks.Place(store, fill));
  WrittenMessage out;
  out.data = placed.Real(prepared.written.data);
  out.sub = placed.Real(prepared.written.sub);
  out.size = prepared.written.size;
  out.flags = prepared.written.flags;
  out.has_attachments = prepared.written.has_attachments;
  out.read = prepared.written.read;
  // The row's values, copied only for the columns it has: the made row holds every short value.
  for (const auto& [id, value] : prepared.written.row_props) {
    const bool taken = row_columns.empty() || std::any_of(row_columns.begin(), row_columns.end(),
                                                          [id = id](PropTag t) { return TagId(t) == id; });
    if (taken) out.row_props.try_emplace(id, value);
  }
  if (prepared.fills_search_key) {
    if (auto it = out.row_props.find(TagId(tags::kSearchKey)); it != out.row_props.end())
      it->second = PropValue::Binary(std::vector<uint8_t>(key.begin(), key.end()));
  }
  return out;
}

}  // namespace velmora::pst
