#include "pst/messaging/message/attachment_writer.h"

#include "pst/content/table_templates.h"
#include "pst/ltp/le_bytes.h"
#include "pst/messaging/message/message_size.h"
#include "pst/messaging/message/subnode_entries.h"
#include "pst/tags/prop_tags.h"

namespace velmora::pst {

using namespace tags;

TableRow MakeAttachmentRow(Nid nid, const PropertyMap& props, std::span<const PropTag> columns) {
  TableRow row;
  row.row_id = nid;
  for (PropTag column : columns) {
    if (column == kTagLtpRowId || column == kTagLtpRowVer) continue;
    auto it = props.find(TagId(column));
    if (it != props.end() && it->second.type == TagType(column) && !it->second.stream)
      row.cells[column] = it->second;
  }
  return row;
}

namespace {

// The PtypObject value of an embedded message: subnode NID (4) | its PidTagMessageSize (4).
PropValue ObjectValue(Nid nid, uint32_t size) {
  std::vector<uint8_t> b(8);
  le::Put32(b, 0, nid);
  le::Put32(b, 4, size);
  return PropValue::Raw(kPtypObject, std::move(b));
}

struct OneAttachment {
  SubnodeEntry entry;
  TableRow row;
  uint32_t size = 0;
};

Result<OneAttachment> WriteOne(NodeStore& store, size_t index, const AttachmentContent& in,
                               const EmbeddedWriter& write_embedded) {
  const std::string which = "attachment " + std::to_string(index);
  PropertyMap props = in.props;
  props.erase(TagId(kAttachSize));    // ours to compute
  props.erase(TagId(kAttachNumber));  // MAPI numbers attachments when it opens the table

  auto method_it = props.find(TagId(kAttachMethod));
  std::optional<int32_t> method;
  if (method_it != props.end()) method = method_it->second.AsInt32();

  HeldTrees held(store);
  std::vector<SubnodeEntry> own_subnodes;
  uint64_t object_size = 0;
  if (in.embedded) {
    if (method && *method != kAttachEmbeddedMessage)
      return Status::InvalidArgument(which + ": an embedded message needs PidTagAttachMethod 5");
    props[TagId(kAttachMethod)] = PropValue::Int32(kAttachEmbeddedMessage);
    PST_ASSIGN_OR_RETURN(EmbeddedWritten inner, write_embedded(*in.embedded));
    held.Hold(inner.data);
    held.Hold(inner.sub);
    // The embedded message is a subnode of the attachment; its NID only needs to be unique there, but a
    // fresh message NID is unique everywhere and keeps NIDs from repeating inside the file.
    PST_ASSIGN_OR_RETURN(Nid inner_nid, store.AllocateNid(kNidTypeNormalMessage));
    own_subnodes.push_back({inner_nid, inner.data, inner.sub});
    props[TagId(kAttachDataObject)] = ObjectValue(inner_nid, inner.size);
    object_size = inner.size;
  } else {
    if (method == kAttachEmbeddedMessage)
      return Status::InvalidArgument(which + ": PidTagAttachMethod 5 without an embedded message");
    auto data = props.find(TagId(kAttachDataBinary));
    if (data != props.end() && data->second.type == kPtypObject)
      return Status::InvalidArgument(which + ": PtypObject data without an embedded message");
    if (!method) props[TagId(kAttachMethod)] = PropValue::Int32(kAttachByValue);
  }
  props.try_emplace(TagId(kRenderingPosition), PropValue::Int32(kRenderingPositionNone));

  props[TagId(kAttachSize)] = PropValue::Int32(0);  // counts 4 bytes, like the final value
  const uint32_t size = static_cast<uint32_t>(ClampSize(CountedSize(props, object_size)));
  props[TagId(kAttachSize)] = PropValue::Int32(static_cast<int32_t>(size));

  PST_ASSIGN_OR_RETURN(Nid nid, store.AllocateNid(kNidTypeAttachment));
  PST_ASSIGN_OR_RETURN(HeapOutput pc, WritePropertyContext(store, props));
  held.Dismiss();  // NestHeap takes over the embedded message's trees
  PST_ASSIGN_OR_RETURN(SubnodeEntry entry, NestHeap(store, nid, pc, std::move(own_subnodes)));

  OneAttachment out;
  out.entry = entry;
  out.size = size;
  out.row = MakeAttachmentRow(nid, props, templates::AttachmentTableColumns());
  return out;
}

}  // namespace

Result<WrittenAttachments> WriteAttachments(NodeStore& store,
                                            const std::vector<AttachmentContent>& attachments,
                                            const EmbeddedWriter& embedded) {
  WrittenAttachments out;
  if (attachments.empty()) return out;
  HeldTrees held(store);
  Table table;
  table.columns = templates::AttachmentTableColumns();
  for (size_t i = 0; i < attachments.size(); ++i) {
    PST_ASSIGN_OR_RETURN(OneAttachment one, WriteOne(store, i, attachments[i], embedded));
    held.Hold(one.entry);
    out.entries.push_back(one.entry);
    out.total_size += one.size;
    table.rows.push_back(std::move(one.row));
  }
  PST_ASSIGN_OR_RETURN(HeapOutput tc, WriteTableContext(store, table));
  PST_ASSIGN_OR_RETURN(SubnodeEntry table_entry, NestHeap(store, kNidAttachmentTable, tc));
  out.entries.push_back(table_entry);
  held.Dismiss();
  return out;
}

}  // namespace velmora::pst
