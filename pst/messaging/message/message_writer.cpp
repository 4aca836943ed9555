#include "pst/messaging/message/message_writer.h"

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

// The message's properties that its contents-table row may copy, made from `props` in place (the map is the
// writer's own and done with): template columns, loaded when streamed, and the other short values.
Result<PropertyMap> RowProps(PropertyMap props) {
  for (auto it = props.begin(); it != props.end();) {
    PropValue& value = it->second;
    if (InTemplate(it->first)) {
      if (value.stream) {
        PST_ASSIGN_OR_RETURN(auto bytes, value.Load());
        value = PropValue::Raw(value.type, std::move(bytes));
      }
      ++it;
    } else if (!value.stream && value.bytes.size() <= kRowPropLimit && value.type != kPtypObject) {
      ++it;
    } else {
      it = props.erase(it);
    }
  }
  return props;
}

class Writer {
 public:
  Writer(NodeStore& store, const NamedIdResolver& names, const MessageWriteOptions& options,
         TableScratch* scratch)
      : store_(store), names_(names), options_(options), scratch_(scratch) {}

  Result<WrittenMessage> Write(const MessageContent& content, int depth) {
    PST_ASSIGN_OR_RETURN(PropertyMap props, MessageProps(content));
    HeldTrees held(store_);

    // Attachments first: the message's size and flags depend on what they turn out to be.
    EmbeddedWriter embedded = [this, depth](const MessageContent& inner) -> Result<EmbeddedWritten> {
      if (depth + 1 > options_.max_embedding_depth)
        return Status::InvalidArgument("embedded messages nest deeper than " +
                                       std::to_string(options_.max_embedding_depth) + " levels");
      PST_ASSIGN_OR_RETURN(WrittenMessage m, Write(inner, depth + 1));
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
    if (auto it = props.find(TagId(kMessageFlags)); it != props.end() && it->second.AsInt32())
      flags = static_cast<uint32_t>(*it->second.AsInt32());
    flags = has_attachments ? (flags | kMsgFlagHasAttach) : (flags & ~kMsgFlagHasAttach);
    props[TagId(kMessageFlags)] = PropValue::Int32(static_cast<int32_t>(flags));

    SetDisplayLists(props, content.recipients);

    // PidTagMessageSize: what the node will hold (message_size.h): the subnodes written above, and the PC,
    // whose writer sets the value once its own layout is known.
    std::vector<SubnodeEntry> subnodes = attachments.entries;
    subnodes.push_back(recipient_entry);
    PST_ASSIGN_OR_RETURN(uint64_t subnode_bytes, HeldBytes(store_, subnodes));
    props[TagId(kMessageSize)] = PropValue::Int32(0);
    int32_t size = 0;
    HeldSizeProperty message_size{TagId(kMessageSize), [&](uint64_t pc_bytes) {
                                    size = ClampSize(pc_bytes + subnode_bytes);
                                    return size;
                                  }};
    PST_ASSIGN_OR_RETURN(HeapOutput pc, WritePropertyContext(store_, props, message_size));
    props[TagId(kMessageSize)] = PropValue::Int32(size);
    held.Dismiss();
    PST_ASSIGN_OR_RETURN(SubnodeEntry node, NestHeap(store_, 0, pc, std::move(subnodes)));

    WrittenMessage out;
    out.data = node.data;
    out.sub = node.sub;
    out.size = size;
    out.flags = flags;
    out.has_attachments = has_attachments;
    out.read = (flags & kMsgFlagRead) != 0;
    auto row = RowProps(std::move(props));
    if (!row.ok()) {
      (void)ReleaseWrittenMessage(store_, out);
      return row.status();
    }
    out.row_props = std::move(row).value();
    return out;
  }

 private:
  // The caller's properties and named properties, less what the store computes, plus the required ones.
  Result<PropertyMap> MessageProps(const MessageContent& content) {
    PropertyMap props = content.props;
    if (!content.named.empty() && !names_)
      return Status::InvalidArgument("named properties without a name-to-ID map");
    for (const NamedProperty& named : content.named) {
      PST_ASSIGN_OR_RETURN(uint16_t id, names_(named));
      if (id < kFirstNamedId)
        return Status::InvalidArgument("name-to-ID map gave property ID " + std::to_string(id) +
                                       " below 0x8000 for a named property");
      props[id] = named.value;
    }
    for (const auto& [id, value] : props)
      if (value.type == kPtypObject)
        return Status::InvalidArgument("a message property of type PtypObject (id " + std::to_string(id) +
                                       ")");
    props.erase(TagId(kMessageSize));
    props.erase(TagId(kHasAttachments));
    if (auto subject = props.find(TagId(kSubject)); subject != props.end()) {
      auto prefix = props.find(ids::kSubjectPrefix);
      subject->second =
          EncodeStoredSubject(subject->second, prefix == props.end() ? nullptr : &prefix->second);
    }

    props.try_emplace(TagId(kMessageClass), PropValue::String("IPM.Note"));
    props.try_emplace(TagId(kMessageStatus), PropValue::Int32(0));
    const uint64_t now = options_.now_filetime ? options_.now_filetime : fsutil::FileTimeNow();
    props.try_emplace(TagId(kCreationTime), PropValue::Time(now));
    props.try_emplace(TagId(kLastModificationTime), PropValue::Time(now));
    auto key = props.find(TagId(kSearchKey));
    if (key == props.end() || key->second.type != kPtypBinary || key->second.Size() != 16) {
      std::array<uint8_t, 16> k = options_.search_key ? options_.search_key() : RandomKey();
      props[TagId(kSearchKey)] = PropValue::Binary(std::vector<uint8_t>(k.begin(), k.end()));
    }
    return props;
  }

  // PidTagDisplayTo is always present (empty without To recipients, as MAPI reports it); Cc and Bcc when
  // they name someone. Values the caller gave are kept.
  static void SetDisplayLists(PropertyMap& props, const std::vector<RecipientContent>& recipients) {
    props.try_emplace(TagId(kDisplayTo), PropValue::String(JoinDisplayNames(recipients, kRecipientTo)));
    for (auto [tag, type] : {std::pair{kDisplayCc, kRecipientCc}, std::pair{kDisplayBcc, kRecipientBcc}}) {
      std::string list = JoinDisplayNames(recipients, type);
      if (!list.empty()) props.try_emplace(TagId(tag), PropValue::String(list));
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
                                    TableScratch* scratch) {
  PST_RETURN_IF_ERROR(CheckValueSizes(content));
  return Writer(store, names, options, scratch).Write(content, 0);
}

Status ReleaseWrittenMessage(NodeStore& store, const WrittenMessage& message) {
  if (message.data) PST_RETURN_IF_ERROR(store.Release(message.data));
  if (message.sub) PST_RETURN_IF_ERROR(store.Release(message.sub));
  return Status::Ok();
}

}  // namespace velmora::pst
