// One message file into the store: Add, Import, the message flags, Save. Each step is skipped on failure, but
// a file that did not become a message is reported (with the reason) and never saved as an empty message.
// A message the store took counts as saved even when the commit that came due with its save failed: the
// caller learns from the store which saves are durable.
#include <algorithm>

#include "engine/migration.h"
#include "rdo/rdo_mail.h"
#include "rdo/rdo_session.h"
#include "rdo/source_key.h"
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

// What identifies a message for Resume is its source file: path below the mailbox folder, size and digest
// (rdo::kSourceKeyProperty). A message stored by an older version has only its source file's name and size
// (rdo::kSourceFileProperty): it stands for a file of the same name, size and Internet Message-ID. A Message-ID
// alone never does (two different files often share one), nor does anything on a message another program
// stored: such files are imported again, a copy too many rather than a message lost.
std::string SourceKey(const pst::MessageContent& content) {
  std::string key = rdo::SourceKeyOf(content);
  return key.empty() ? key : "key " + key;
}

std::string OlderKey(const pst::MessageContent& content) {
  std::string source = rdo::SourceFileOf(content);
  if (source.empty()) return source;
  return "file " + source + "\n" + rdo::InternetMessageIdOf(content);
}

}  // namespace

PresentKeys& Migration::KeysPresentIn(const rdo::RDOFolder& folder) {
  if (present_folder_ != folder.nid()) {
    present_ = PresentKeys();
    present_folder_ = folder.nid();
    ResumeNext().Run([&] {
      folder.Items()->ForEach([&](const rdo::RDOMail& m) {
        const pst::MessageContent& content = m.MAPIOBJECT()->content();
        std::string key = SourceKey(content);
        if (key.empty()) key = OlderKey(content);
        if (!key.empty()) present_.Insert(key);
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
    const pst::MessageContent& content = item->MAPIOBJECT()->content();
    key = SourceKey(content);
    const std::string older = OlderKey(content);
    PresentKeys& present = KeysPresentIn(*folder);
    if ((!key.empty() && present.Contains(key)) || (!older.empty() && present.Contains(older)))
      return ImportResult::kAlreadyPresent;
  }
  step.Run([&] {
    auto utils = rdo::CreateObjectAs<rdo::RDOMAPIUtils>("Redemption.MAPIUtils");
    utils->HrSetOneProp(item->MAPIOBJECT(), rdo::kPrMessageFlags, kImportedFlags, true);
  });
  engine_.Yield();
  step.Run([&] { item->Save(); });
  save_number = item->MAPIOBJECT()->save_number();
  if (save_number == 0) {
    reason = step.description();
    return ImportResult::kFailed;
  }
  if (!key.empty()) KeysPresentIn(*folder).Insert(key);
  for (const std::string& note : item->MAPIOBJECT()->content().notes) Remarks.push_back({file, note});
  if (OnSaved) OnSaved(file, folder_path, item->MAPIOBJECT()->content());
  return ImportResult::kSaved;
}

}  // namespace velmora::engine
