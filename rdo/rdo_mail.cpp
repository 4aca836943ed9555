#include "rdo/rdo_mail.h"

#include <filesystem>

#include "fsutil/file_io.h"
#include "fsutil/program_text.h"
#include "mime/import.h"
#include "mime/own_address.h"
#include "pst/messaging/name_to_id_map.h"
#include "pst/messaging/node_io.h"
#include "pst/tags/prop_tags.h"
#include "rdo/source_key.h"

namespace velmora::rdo {

namespace {

// Named-property IDs that Internet header names may take (half of the 32,767 a store has).
constexpr size_t kInternetHeaderIdBudget = 16384;

// A folder as users know it: by its path below the top folder ("folder \"Inbox/Projects\"").
std::string FolderText(const StoreState& state, pst::Nid folder) {
  const std::string by_number = "folder " + pst::NidText(folder);
  if (!state.open()) return by_number;
  const pst::MessageStore& store = state.store();
  const auto top = store.IpmSubtree();
  std::string path;
  pst::Nid n = folder;
  // The parent chain of a file is not trusted: it ends at the top folder, the root or a missing folder, and
  // is never followed further than there are folders.
  for (size_t steps = 0; steps <= store.folder_count(); ++steps) {
    if (top.ok() && n == *top) return path.empty() ? "the top folder" : "folder \"" + path + "\"";
    const pst::FolderInfo* f = store.Folder(n);
    if (!f || f->parent == f->nid) break;
    path = path.empty() ? f->name : f->name + "/" + path;
    n = f->parent;
  }
  return path.empty() ? by_number : "folder \"" + path + "\"";
}

}  // namespace

MAPIMessage::MAPIMessage(std::shared_ptr<StoreState> state, pst::Nid folder)
    : state_(std::move(state)), folder_(folder) {}

MAPIMessage::MAPIMessage(std::shared_ptr<StoreState> state, pst::Nid folder, pst::Nid nid,
                         pst::MessageContent content)
    : state_(std::move(state)), folder_(folder), nid_(nid), content_(std::move(content)), changed_(false) {}

void MAPIMessage::Import(const std::string& path, int format, std::optional<ParsedEml> parsed) {
  if (format != kImportFormatRfc822) {
    throw Error(kMapiNoSupport, "Import format " + std::to_string(format) +
                                    " is not supported; use 1024 (an RFC 822 message file, .eml)");
  }
  state_->store();  // Error when the session has logged off
  content_ = pst::MessageContent();
  changed_ = true;
  mime::ImportOptions options;
  options.internet_header_properties = InternetHeaderProperties(*state_);
  // A named pipe or a device would block the read or never end: only regular files are messages. A path that
  // cannot be looked at is left to the import, which says why it cannot be read. One look (one stat) also
  // gives the stamp that a parse made earlier must match, and the size for the source-file text.
  const PathLook look = LookAt(path);
  if (look.looked && !look.regular) {
    throw Error(kMapiDiskError, "Cannot import \"" + path + "\": not a regular file");
  }
  // A parse made earlier stands for this one only while the file is unchanged since.
  std::string digest;
  if (parsed && parsed->path == path &&
      parsed->internet_header_properties == options.internet_header_properties && look.regular &&
      look.stamp == parsed->stamp) {
    content_ = std::move(parsed->content);
    digest = std::move(parsed->digest);
  } else {
    auto imported = mime::ImportEml(path, options);
    ThrowIfError(imported.status(), "Cannot import \"" + path + "\"");
    content_ = std::move(imported).value();
  }
  // The store is named after the mailbox ("ann@example.org : Created - ..."), whose address it holds.
  mime::SetToMeFlags(mime::OwnAddressIn(state_->store().display_name()), content_);
  if (std::string source = look.regular ? SourceFileText(path, look.stamp.size) : SourceFileText(path);
      !source.empty()) {
    pst::NamedProperty np;
    np.guid = pst::kPsPublicStrings;
    np.is_string = true;
    np.name = kSourceFileProperty;
    np.value = pst::PropValue::String(source);
    content_.named.push_back(std::move(np));
  }
  if (look.regular) {
    if (digest.empty()) digest = SourceDigest(path);
    if (!digest.empty()) {
      pst::NamedProperty np;
      np.guid = pst::kPsPublicStrings;
      np.is_string = true;
      np.name = kSourceKeyProperty;
      np.value = pst::PropValue::String(SourceKeyText(path, state_->source_root(), look.stamp.size, digest));
      content_.named.push_back(std::move(np));
    }
  }
}

// Every new Internet header name costs a named-property ID of the whole store (at most 32,767). Once half of
// them are taken, further headers stay only in the transport headers, so that a mailbox with endless X-
// header names can never run out of IDs and fail to store its messages.
bool InternetHeaderProperties(const StoreState& state) {
  return state.store().name_map().size() < kInternetHeaderIdBudget;
}

std::string SourceFileText(const std::string& path) {
  fsutil::FileFacts facts;
  if (fsutil::FactsOfPath(path, &facts) != 0 || facts.folder) return "";
  return SourceFileText(path, facts.size);
}

std::string SourceFileText(const std::string& path, uint64_t size) {
  return std::to_string(size) + " " + fsutil::Utf8Path(fsutil::FsPath(path).filename());
}

std::string SourceFileOf(const pst::MessageContent& content) {
  for (const auto& np : content.named) {
    if (np.is_string && np.name == kSourceFileProperty && np.guid == pst::kPsPublicStrings)
      return np.value.AsString().value_or("");
  }
  return "";
}

std::string InternetMessageIdOf(const pst::MessageContent& content) {
  const auto it = content.props.find(pst::ids::kInternetMessageId);
  return it == content.props.end() ? "" : it->second.AsString().value_or("");
}
static_assert(kPrMessageFlags == pst::tags::kMessageFlags);

void MAPIMessage::Save() {
  if (!changed_ && nid_) return;
  pst::MessageStore& store = state_->store();
  if (nid_) {
    ThrowIfError(store.ReplaceMessage(*nid_, content_), "Cannot save the message");
    // Large values of a message read from the store are read lazily from its old blocks, which the
    // replacement released: hold the stored message instead.
    auto stored = store.ReadMessage(*nid_);
    ThrowIfError(stored.status(), "Cannot read the saved message back");
    content_ = std::move(stored).value();
  } else {
    auto nid = store.AddMessage(folder_, content_);
    ThrowIfError(nid.status(), "Cannot save the message in " + FolderText(*state_, folder_));
    nid_ = *nid;
  }
  changed_ = false;
  save_number_ = state_->NoteSave();
  state_->Changed();
}

void RDOMail::Import(const std::string& path, int format, std::optional<ParsedEml> parsed) {
  message_->Import(path, format, std::move(parsed));
}

std::string RDOMail::Subject() const {
  const auto& props = message_->content().props;
  auto it = props.find(pst::ids::kSubject);
  if (it == props.end()) return "";
  return it->second.AsString().value_or("");
}

std::string RDOMail::EntryID() const {
  auto nid = message_->nid();
  if (!nid) return "";
  return pst::HexString(pst::MakeEntryId(message_->state()->store().record_key(), *nid));
}

int RDOItems::Count() const {
  auto ids = state_->store().Messages(folder_);
  ThrowIfError(ids.status(), "Cannot list the messages of " + FolderText(*state_, folder_));
  return static_cast<int>(ids->size());
}

std::shared_ptr<RDOMail> RDOItems::Item(int index) const {
  pst::MessageStore& store = state_->store();
  auto ids = store.Messages(folder_);
  ThrowIfError(ids.status(), "Cannot list the messages of " + FolderText(*state_, folder_));
  if (index < 1 || static_cast<size_t>(index) > ids->size()) {
    throw Error(kEInvalidArg,
                "Index " + std::to_string(index) + " is out of range 1.." + std::to_string(ids->size()));
  }
  pst::Nid nid = (*ids)[static_cast<size_t>(index - 1)];
  auto content = store.ReadMessage(nid);
  ThrowIfError(content.status(), "Cannot read message " + pst::NidText(nid));
  return std::make_shared<RDOMail>(
      std::make_shared<MAPIMessage>(state_, folder_, nid, std::move(content).value()));
}

void RDOItems::ForEach(const std::function<void(const RDOMail&)>& fn) const {
  pst::MessageStore& store = state_->store();
  auto ids = store.Messages(folder_);
  ThrowIfError(ids.status(), "Cannot list the messages of " + FolderText(*state_, folder_));
  for (pst::Nid nid : *ids) {
    auto content = store.ReadMessage(nid);
    ThrowIfError(content.status(), "Cannot read message " + pst::NidText(nid));
    fn(RDOMail(std::make_shared<MAPIMessage>(state_, folder_, nid, std::move(content).value())));
  }
}

std::shared_ptr<RDOMail> RDOItems::Add(int type) {
  if (type != kItemTypeMail) {
    throw Error(kMapiNoSupport,
                "Item type " + std::to_string(type) + " is not supported; use 0 (a mail message)");
  }
  if (!state_->store().Folder(folder_))
    throw Error(kMapiNotFound, "The " + FolderText(*state_, folder_) + " no longer exists");
  return std::make_shared<RDOMail>(std::make_shared<MAPIMessage>(state_, folder_));
}

}  // namespace velmora::rdo
