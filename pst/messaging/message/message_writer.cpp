#include "pst/messaging/message/message_writer.h"

#include <algorithm>

#include "fsutil/now.h"
#include "pst/messaging/message/attachment_writer.h"
#include "pst/messaging/message/contents_row.h"
#include "pst/messaging/message/held_bytes.h"
#include "pst/messaging/message/message_size.h"
#include "pst/messaging/message/recipient_table.h"
#include "pst/messaging/message/size_limit.h"
#include "pst/messaging/message/subject_encoding.h"
#include "pst/messaging/message/subnode_entries.h"
#include "pst/tags/prop_tags.h"

namespace velmora::pst {

using namespace tags;

namespace {

// Values above this stay out of WrittenMessage::row_props unless a template column needs them: rows of newer
// Outlook folders copy short values (names, flags, times), never bodies.
constexpr size_t kRowPropLimit = 4096;

std::array<uint8_t, 16> RandomKey() {
  std::array<uint8_t, 16> key;
  fsutil::RandomBytes(key);
  return key;
}

Result<uint64_t> HeldBytes(NodeStore& store, const std::vector<SubnodeEntry>& entries) {
  uint64_t total = 0;
  for (const SubnodeEntry& e : entries) {
    PST_ASSIGN_OR_RETURN(uint64_t held, HeldBytes(store, e));
    total += held;
  }
  return total;
}

bool InTemplate(uint16_t id) {
  for (PropTag t : kContentsTemplateColumns)
    if (TagId(t) == id) return true;
  return false;
}

// The message's properties as its PC holds them, without a copy of the caller's: the caller's values where
// they are, the named values under their IDs, and the values the writer sets itself (`own`), which stand
// over both. `left_out` names one ID the PC never takes from the caller.
struct MessageProperties {
  const PropertyMap* caller = nullptr;
  std::vector<std::pair<uint16_t, const PropValue*>> named;  // in the caller's order: a later one stands
  PropertyMap own;
  uint16_t left_out = 0;

  // Every value by ascending ID, one an ID. Points into `own`: valid while own's keys stay as they are.
  PropertyRefs Refs() const {
    struct Ranked {
      uint16_t id;
      const PropValue* value;
    };
    std::vector<Ranked> all;
    all.reserve(caller->size() + named.size() + own.size());
    for (const auto& [id, value] : *caller) all.push_back({id, &value});
    for (const auto& [id, value] : named) all.push_back({id, value});
    for (const auto& [id, value] : own) all.push_back({id, &value});
    // Stable: of one ID the caller's comes first, then its named values in order, then the writer's.
    std::stable_sort(all.begin(), all.end(), [](const Ranked& a, const Ranked& b) { return a.id < b.id; });
    PropertyRefs refs;
    refs.reserve(all.size());
    for (size_t i = 0; i < all.size(); ++i) {
      if (i + 1 < all.size() && all[i + 1].id == all[i].id) continue;  // the last of its ID stands
      if (all[i].id != left_out) refs.emplace_back(all[i].id, all[i].value);
    }
    return refs;
  }
  const PropValue* Find(uint16_t id) const {
    if (auto it = own.find(id); it != own.end()) return &it->second;
    for (auto it = named.rbegin(); it != named.rend(); ++it)
      if (it->first == id) return it->second;
    if (id == left_out) return nullptr;
    auto it = caller->find(id);
    return it == caller->end() ? nullptr : &it->second;
  }
};

bool InColumns(uint16_t id, std::span<const PropTag> columns) {
  for (PropTag t : columns)
    if (TagId(t) == id) return true;
  return false;
}

// The message's properties that its contents-table row may copy: template columns, loaded when streamed,
// and the other short values; of those, when `row_columns` names the table's columns, only what they take.
Result<PropertyMap> RowProps(const PropertyRefs& props, std::span<const PropTag> row_columns) {
  PropertyMap row;
  for (const auto& [id, value] : props) {
    if (!row_columns.empty() && !InColumns(id, row_columns)) continue;
    if (InTemplate(id)) {
      if (value->stream) {
        PST_ASSIGN_OR_RETURN(auto bytes, value->Load());
        row.try_emplace(id, PropValue::Raw(value->type, std::move(bytes)));
      } else {
        row.try_emplace(id, *value);
      }
    } else if (!value->stream && value->bytes.size() <= kRowPropLimit && value->type != kPtypObject) {
      row.try_emplace(id, *value);
    }
  }
  return row;
}

class Writer {
 public:
  Writer(NodeStore& store, const NamedIdResolver& names, const MessageWriteOptions& options,
         TableScratch* scratch)
      : store_(store), names_(names), options_(options), scratch_(scratch) {}

  Result<WrittenMessage> Write(const MessageContent& content, int depth,
                               std::span<const PropTag> row_columns) {
    PST_ASSIGN_OR_RETURN(MessageProperties props, MessageProps(content));
    HeldTrees held(store_);

    // Attachments first: the message's size and flags depend on what they turn out to be.
    EmbeddedWriter embedded = [this, depth](const MessageContent& inner) -> Result<EmbeddedWritten> {
      if (depth + 1 > options_.max_embedding_depth)
        return Status::InvalidArgument("embedded messages nest deeper than " +
                                       std::to_string(options_.max_embedding_depth) + " levels");
      PST_ASSIGN_OR_RETURN(WrittenMessage m, Write(inner, depth + 1, {}));
      return EmbeddedWritten{m.data, m.sub, static_cast<uint32_t>(m.size)};
    };
    PST_ASSIGN_OR_RETURN(WrittenAttachments attachments,
                         WriteAttachments(store_, content.attachments, embedded));
    held.Hold(attachments.entries);

    PST_ASSIGN_OR_RETURN(TableRowSource recipients,
                         RecipientRows(content.recipients, options_.fill_recipient_defaults, scratch_));
    PST_ASSIGN_OR_RETURN(HeapOutput recipient_tc, WriteTableContext(store_, recipients, scratch_));
    PST_ASSIGN_OR_RETURN(SubnodeEntry recipient_entry, NestHeap(store_, kNidRecipientTable, recipient_tc));
    held.Hold(recipient_entry);

    const bool has_attachments = !content.attachments.empty();
    uint32_t flags = options_.default_flags;
    if (const PropValue* v = props.Find(TagId(kMessageFlags)); v && v->AsInt32())
      flags = static_cast<uint32_t>(*v->AsInt32());
    flags = has_attachments ? (flags | kMsgFlagHasAttach) : (flags & ~kMsgFlagHasAttach);
    props.own.insert_or_assign(TagId(kMessageFlags), PropValue::Int32(static_cast<int32_t>(flags)));

    SetDisplayLists(props, content.recipients);

    // PidTagMessageSize: what the node will hold (message_size.h): the subnodes written above, and the PC,
    // whose writer sets the value once its own layout is known.
    std::vector<SubnodeEntry> subnodes = attachments.entries;
    subnodes.push_back(recipient_entry);
    PST_ASSIGN_OR_RETURN(uint64_t subnode_bytes, HeldBytes(store_, subnodes));
    props.own.insert_or_assign(TagId(kMessageSize), PropValue::Int32(0));
    int32_t size = 0;
    HeldSizeProperty message_size{TagId(kMessageSize), [&](uint64_t pc_bytes) {
                                    size = ClampSize(pc_bytes + subnode_bytes);
                                    return size;
                                  }};
    const PropertyRefs refs = props.Refs();
    PST_ASSIGN_OR_RETURN(HeapOutput pc, WritePropertyContext(store_, refs, message_size));
    props.own.find(TagId(kMessageSize))->second.SetInt32(size);  // a value, not a key: `refs` stays valid
    held.Dismiss();
    PST_ASSIGN_OR_RETURN(SubnodeEntry node, NestHeap(store_, 0, pc, std::move(subnodes)));

    WrittenMessage out;
    out.data = node.data;
    out.sub = node.sub;
    out.size = size;
    out.flags = flags;
    out.has_attachments = has_attachments;
    out.read = (flags & kMsgFlagRead) != 0;
    auto row = RowProps(refs, row_columns);
    if (!row.ok()) {
      (void)ReleaseWrittenMessage(store_, out);
      return row.status();
    }
    out.row_props = std::move(row).value();
    return out;
  }

 private:
  // The caller's properties and named properties, less what the store computes, plus the required ones.
  Result<MessageProperties> MessageProps(const MessageContent& content) {
    MessageProperties props;
    props.caller = &content.props;
    if (!content.named.empty() && !names_)
      return Status::InvalidArgument("named properties without a name-to-ID map");
    props.named.reserve(content.named.size());
    for (const NamedProperty& named : content.named) {
      PST_ASSIGN_OR_RETURN(uint16_t id, names_(named));
      if (id < kFirstNamedId)
        return Status::InvalidArgument("name-to-ID map gave property ID " + std::to_string(id) +
                                       " below 0x8000 for a named property");
      props.named.emplace_back(id, &named.value);
    }
    for (const auto& [id, value] : props.Refs())
      if (value->type == kPtypObject)
        return Status::InvalidArgument("a message property of type PtypObject (id " + std::to_string(id) +
                                       ")");
    // The size is the writer's (set in Write); whether it has attachments is only in the flags.
    props.own.try_emplace(TagId(kMessageSize), PropValue::Int32(0));
    props.left_out = TagId(kHasAttachments);
    if (const PropValue* subject = props.Find(TagId(kSubject))) {
      props.own.insert_or_assign(TagId(kSubject),
                                 EncodeStoredSubject(*subject, props.Find(ids::kSubjectPrefix)));
    }

    auto set_default = [&props](uint16_t id, auto make) {
      if (!props.Find(id)) props.own.try_emplace(id, make());
    };
    set_default(TagId(kMessageClass), [] { return PropValue::String("IPM.Note"); });
    set_default(TagId(kMessageStatus), [] { return PropValue::Int32(0); });
    const uint64_t now = options_.now_filetime ? options_.now_filetime : fsutil::FileTimeNow();
    set_default(TagId(kCreationTime), [now] { return PropValue::Time(now); });
    set_default(TagId(kLastModificationTime), [now] { return PropValue::Time(now); });
    const PropValue* key = props.Find(TagId(kSearchKey));
    if (!key || key->type != kPtypBinary || key->Size() != 16) {
      std::array<uint8_t, 16> k = options_.search_key ? options_.search_key() : RandomKey();
      props.own.insert_or_assign(TagId(kSearchKey),
                                 PropValue::Binary(std::vector<uint8_t>(k.begin(), k.end())));
    }
    return props;
  }

  // PidTagDisplayTo is always present (empty without To recipients, as MAPI reports it); Cc and Bcc when
  // they name someone. Values the caller gave are kept.
  static void SetDisplayLists(MessageProperties& props, const std::vector<RecipientContent>& recipients) {
    if (!props.Find(TagId(kDisplayTo)))
      props.own.try_emplace(TagId(kDisplayTo), PropValue::String(JoinDisplayNames(recipients, kRecipientTo)));
    for (auto [tag, type] : {std::pair{kDisplayCc, kRecipientCc}, std::pair{kDisplayBcc, kRecipientBcc}}) {
      if (props.Find(TagId(tag))) continue;
      std::string list = JoinDisplayNames(recipients, type);
      if (!list.empty()) props.own.try_emplace(TagId(tag), PropValue::String(list));
    }
  }

  NodeStore& store_;
  const NamedIdResolver& names_;
  const MessageWriteOptions& options_;
  TableScratch* scratch_;
};

}  // namespace

Result<WrittenMessage> WriteMessage(NodeStore& store, const MessageContent& content,
                                    const NamedIdResolver& names, const MessageWriteOptions& options,
                                    TableScratch* scratch, std::span<const PropTag> row_columns) {
  PST_RETURN_IF_ERROR(CheckValueSizes(content));
  return Writer(store, names, options, scratch).Write(content, 0, row_columns);
}

Status ReleaseWrittenMessage(NodeStore& store, const WrittenMessage& message) {
  if (message.data) PST_RETURN_IF_ERROR(store.Release(message.data));
  if (message.sub) PST_RETURN_IF_ERROR(store.Release(message.sub));
  return Status::Ok();
}

}  // namespace velmora::pst
