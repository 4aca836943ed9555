// One message file into the store: Add, Import, the message flags, Save. Each step is skipped on failure, but
// a file that did not become a message is reported (false) and never saved as an empty message.
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

bool Migration::ImportMessage(const std::string& store_folder_path, const std::string& file) {
  ResumeNext step;
  std::shared_ptr<rdo::RDOMail> item;
  step.Run([&] { item = PstSession->GetFolderFromPath(store_folder_path)->Items()->Add(kItemTypeMail); });
  if (!item) return false;
  engine_.Yield();
  if (!step.Run([&] { item->Import(file, kFormatRfc822); })) return false;
  step.Run([&] {
    auto utils = rdo::CreateObjectAs<rdo::RDOMAPIUtils>("Redemption.MAPIUtils");
    utils->HrSetOneProp(item->MAPIOBJECT(), kTagMessageFlags, kImportedFlags, true);
  });
  engine_.Yield();
  return step.Run([&] { item->Save(); });
}

}  // namespace velmora::engine
