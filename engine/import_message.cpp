// One message file into the store: Add, Import, the message flags, Save. Each step is skipped on failure, but
// a file that did not become a message is reported (with the reason) and never saved as an empty message.
// A message the store took counts as saved even when the commit that came due with its save failed: the
// caller learns from the store which saves are durable.
#include "engine/migration.h"
#include "rdo/rdo_mail.h"
#include "rdo/rdo_session.h"

namespace velmora::engine {

namespace {

// PR_MESSAGE_FLAGS, and the value the import gives it: read (0x1) and has-attachment (0x10). The store keeps
// has-attachment only on messages that really have attachments.
constexpr uint32_t kTagMessageFlags = 0x0E070003;
constexpr int32_t kImportedFlags = 17;
// The format code of Import for an RFC 822 / MIME message file.
constexpr int kFormatRfc822 = 1024;
// The item type code of Items.Add for a mail message.
constexpr int kItemTypeMail = 0;

}  // namespace

Migration::ImportResult Migration::ImportMessage(const std::string& store_folder_path,
                                                 const std::string& file, std::string& reason,
                                                 uint64_t& save_number) {
  ResumeNext step;
  std::shared_ptr<rdo::RDOMail> item;
  step.Run([&] { item = PstSession->GetFolderFromPath(store_folder_path)->Items()->Add(kItemTypeMail); });
  if (!item) {
    reason = "no folder for it in the store: " + step.description();
    return step.missing_folder() ? ImportResult::kNoFolder : ImportResult::kFailed;
  }
  engine_.Yield();
  if (!step.Run([&] { item->Import(file, kFormatRfc822); })) {
    reason = step.description();
    return ImportResult::kFailed;
  }
  step.Run([&] {
    auto utils = rdo::CreateObjectAs<rdo::RDOMAPIUtils>("Redemption.MAPIUtils");
    utils->HrSetOneProp(item->MAPIOBJECT(), kTagMessageFlags, kImportedFlags, true);
  });
  engine_.Yield();
  step.Run([&] { item->Save(); });
  save_number = item->MAPIOBJECT()->save_number();
  if (save_number == 0) {
    reason = step.description();
    return ImportResult::kFailed;
  }
  return ImportResult::kSaved;
}

}  // namespace velmora::engine
