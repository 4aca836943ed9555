#include "engine/mailbox_list.h"

#include "fsutil/file_queries.h"
#include "fsutil/platform_shim.h"

namespace velmora::engine {

std::optional<std::vector<MailboxFolder>> ListMailboxFolders(std::string top, std::string* why) {
  if (top.empty() || top.back() != fsutil::kPathSeparator) top += fsutil::kPathSeparator;
  fsutil::FileEntry entry;
  if (fsutil::FindFirstEntry(top + "*", entry) == fsutil::kInvalidHandle) {
    if (why) *why = fsutil::SystemErrorText(fsutil::LastError());
    return std::nullopt;
  }
  std::vector<MailboxFolder> out;
  do {
    if (entry.name == "." || entry.name == "..") continue;
    if (entry.is_folder) out.push_back({entry.name, top + entry.name});
  } while (fsutil::FindNextEntry(entry));
  return out;
}

}  // namespace velmora::engine
