#include "pst/messaging/message/message_reader.h"

#include <algorithm>

#include "pst/ltp/le_bytes.h"
#include "pst/ltp/table_context.h"
#include "pst/messaging/message/recipient_table.h"
#include "pst/messaging/message/subject_encoding.h"
#include "pst/tags/prop_tags.h"

namespace velmora::pst {

using namespace tags;

namespace {

Result<std::vector<SubnodeEntry>> SubnodesOf(NodeStore& store, Bid sub) {
  if (!sub) return std::vector<SubnodeEntry>();
  return store.ReadSubnodes(sub);
}

const SubnodeEntry* Find(const std::vector<SubnodeEntry>& entries, Nid nid) {
  auto it = std::lower_bound(entries.begin(), entries.end(), nid,
                             [](const SubnodeEntry& e, Nid n) { return e.nid < n; });
  return it != entries.end() && it->nid == nid ? &*it : nullptr;
}

class Reader {
 public:
  Reader(NodeStore& store, const MessageReadOptions& options) : store_(store), options_(options) {}

  Result<MessageContent> Read(Bid data, Bid sub, const std::string& where, int depth) {
    if (!data) return Status::Corruption(where + ": message without a property context");
    PST_ASSIGN_OR_RETURN(std::vector<SubnodeEntry> subnodes, SubnodesOf(store_, sub));
    std::sort(subnodes.begin(), subnodes.end(), [](auto& a, auto& b) { return a.nid < b.nid; });

    MessageContent out;
    PST_ASSIGN_OR_RETURN(out.props, ReadPropertyContext(store_, data, subnodes, options_.inline_limit));
    if (auto subject = out.props.find(TagId(kSubject)); subject != out.props.end())
      subject->second = DecodeStoredSubject(subject->second);
    MoveNamed(out);

    if (const SubnodeEntry* rt = Find(subnodes, kNidRecipientTable)) {
      PST_ASSIGN_OR_RETURN(std::vector<SubnodeEntry> own, SubnodesOf(store_, rt->sub));
      PST_ASSIGN_OR_RETURN(Table table, ReadTableContext(store_, rt->data, own));
      out.recipients = RecipientsFromTable(table);
    }

    // Attachments in the order of the attachment table; attachment PCs the table does not list are read too
    // (after the listed ones), so nothing stored is hidden from a dump.
    std::vector<Nid> order;
    if (const SubnodeEntry* at = Find(subnodes, kNidAttachmentTable)) {
      PST_ASSIGN_OR_RETURN(std::vector<SubnodeEntry> own, SubnodesOf(store_, at->sub));
      PST_ASSIGN_OR_RETURN(Table table, ReadTableContext(store_, at->data, own));
      for (const TableRow& row : table.rows) order.push_back(row.row_id);
    }
    for (const SubnodeEntry& e : subnodes)
      if (NidTypeOf(e.nid) == kNidTypeAttachment &&
          std::find(order.begin(), order.end(), e.nid) == order.end())
        order.push_back(e.nid);
    for (Nid nid : order) {
      const SubnodeEntry* entry = Find(subnodes, nid);
      if (!entry)
        return Status::Corruption(where + ": attachment table lists " + Hex(nid) +
                                  ", which is not a subnode");
      PST_ASSIGN_OR_RETURN(AttachmentContent a,
                           ReadAttachment(*entry, where + " attachment " + Hex(nid), depth));
      out.attachments.push_back(std::move(a));
    }
    return out;
  }

 private:
  Result<AttachmentContent> ReadAttachment(const SubnodeEntry& entry, const std::string& where, int depth) {
    PST_ASSIGN_OR_RETURN(std::vector<SubnodeEntry> subnodes, SubnodesOf(store_, entry.sub));
    std::sort(subnodes.begin(), subnodes.end(), [](auto& a, auto& b) { return a.nid < b.nid; });
    AttachmentContent out;
    PST_ASSIGN_OR_RETURN(out.props, ReadPropertyContext(store_, entry.data, subnodes, options_.inline_limit));
    auto object = out.props.find(TagId(kAttachDataObject));
    if (object == out.props.end() || object->second.type != kPtypObject) return out;

    // PtypObject: nid (4) | size (4) of a subnode of this attachment holding a complete message.
    PST_ASSIGN_OR_RETURN(std::vector<uint8_t> value, object->second.Load());
    if (value.size() != 8)
      return Status::Corruption(where + ": PtypObject value of " + std::to_string(value.size()) +
                                " bytes, not 8");
    const Nid inner_nid = le::Get32(value, 0);
    const SubnodeEntry* inner = Find(subnodes, inner_nid);
    if (!inner)
      return Status::Corruption(where + ": embedded message " + Hex(inner_nid) + " is not a subnode");
    if (depth + 1 > options_.max_embedding_depth)
      return Status::Corruption(where + ": embedded messages nest deeper than " +
                                std::to_string(options_.max_embedding_depth) + " levels");
    PST_ASSIGN_OR_RETURN(MessageContent m,
                         Read(inner->data, inner->sub, where + " embedded " + Hex(inner_nid), depth + 1));
    out.embedded = std::make_unique<MessageContent>(std::move(m));
    out.props.erase(object);  // the embedded message stands for it
    return out;
  }

  void MoveNamed(MessageContent& m) const {
    if (!options_.named_lookup) return;
    for (auto it = m.props.lower_bound(kFirstNamedId); it != m.props.end();) {
      std::optional<NamedProperty> named = options_.named_lookup(it->first);
      if (!named) {
        ++it;
        continue;
      }
      named->value = std::move(it->second);
      m.named.push_back(std::move(*named));
      it = m.props.erase(it);
    }
  }

  NodeStore& store_;
  const MessageReadOptions& options_;
};

}  // namespace

Result<MessageContent> ReadMessageTrees(NodeStore& store, Bid data, Bid sub,
                                        const MessageReadOptions& options) {
  return Reader(store, options).Read(data, sub, "message", 0);
}

Result<MessageContent> ReadMessage(NodeStore& store, Nid nid, const MessageReadOptions& options) {
  PST_ASSIGN_OR_RETURN(std::optional<NodeEntry> entry, store.FindNode(nid));
  if (!entry) return Status::NotFound("message node " + Hex(nid));
  return Reader(store, options).Read(entry->data, entry->sub, "message " + Hex(nid), 0);
}

}  // namespace velmora::pst
