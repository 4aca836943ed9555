// One message file into the store: Add, Import, the message flags, Save. Each step is skipped on failure, but
// a file that did not become a message is reported (with the reason) and never saved as an empty message.
// A message the store took counts as saved even when the commit that came due with its save failed: the
// caller learns from the store which saves are durable.
#include <algorithm>

#include "engine/migration.h"
#include "pst/messaging/prop_tags.h"
#include "rdo/rdo_mail.h"
#include "rdo/rdo_session.h"
#include "rdo/store_state.h"

namespace velmora::engine {

namespace {

// The message flags the import gives: read (0x1) and has-attachment (0x10). The store keeps has-attachment
// only on messages that really have attachments.
constexpr int32_t kImportedFlags = 17;
// The format code of Import for an RFC 822 / MIME message file.
constexpr int kFormatRfc822 = 1024;
// The item type code of Items.Add for a mail message.
constexpr int kItemTypeMail = 0;

// What identifies a message for Resume: its Internet Message-ID, else its source file text; empty when it has
// neither.
std::string MessageKey(const pst::MessageContent& content) {
  if (auto it = content.props.find(pst::ids::kInternetMessageId); it != content.props.end()) {
    if (auto id = it->second.AsString(); id && !id->empty()) return "id " + *id;
  }
  if (std::string source = rdo::SourceFileOf(content); !source.empty()) return "file " + source;
  return "";
}

}  // namespace

PresentKeys& Migration::KeysPresentIn(const rdo::RDOFolder& folder) {
  if (present_folder_ != folder.nid()) {
    present_ = PresentKeys();
    present_folder_ = folder.nid();
    ResumeNext().Run([&] {
      folder.Items()->ForEach([&](const rdo::RDOMail& m) {
        if (std::string key = MessageKey(m.MAPIOBJECT()->content()); !key.empty()) present_.Insert(key);
      });
    });
  }
  return present_;
}

Migration::ImportResult Migration::ImportMessage(const std::string& folder_path, const std::string& file,
                                                 const ParsedAhead& parsed_ahead, std::string& reason,
                                                 uint64_t& save_number) {
  ResumeNext step;
  std::shared_ptr<rdo::RDOFolder> folder;
  std::shared_ptr<rdo::RDOMail> item;
  step.Run([&] {
    folder = PstSession->GetFolderFromPath("\\\\" + StoreDisplayName + "\\" + folder_path);
    item = folder->Items()->Add(kItemTypeMail);
  });
  if (!item) {
    if (!step.missing_path()) {
      reason = step.description();
      return ImportResult::kFailed;
    }
    std::string shown = folder_path.substr(0, folder_path.empty() ? 0 : folder_path.size() - 1);
    std::replace(shown.begin(), shown.end(), '\\', '/');
    reason = "no folder \"" + shown + "\" for it in the data file (" + step.description() + ")";
    return ImportResult::kNoFolder;
  }
  engine_.Yield();
  if (!step.Run([&] { item->Import(file, kFormatRfc822, parsed_ahead()); })) {
    reason = step.description();
    return ImportResult::kFailed;
  }
  // The parses ahead follow the store's choice for the next files.
  step.Run([&] { header_properties_ = rdo::InternetHeaderProperties(*store_state_); });
  std::string key;
  if (Resume) {
    key = MessageKey(item->MAPIOBJECT()->content());
    if (!key.empty() && KeysPresentIn(*folder).Contains(key)) return ImportResult::kAlreadyPresent;
  }
  step.Run([&] {
    auto utils = rdo::CreateObjectAs<rdo::RDOMAPIUtils>("Redemption.MAPIUtils");
    utils->HrSetOneProp(item->MAPIOBJECT(), pst::tags::kMessageFlags, kImportedFlags, true);
  });
  engine_.Yield();
  step.Run([&] { item->Save(); });
  save_number = item->MAPIOBJECT()->save_number();
  if (save_number == 0) {
    reason = step.description();
    return ImportResult::kFailed;
  }
  if (!key.empty()) KeysPresentIn(*folder).Insert(key);
  if (OnSaved) OnSaved(file, folder_path, item->MAPIOBJECT()->content());
  return ImportResult::kSaved;
}

}  // namespace velmora::engine
