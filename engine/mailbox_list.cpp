#include "engine/mailbox_list.h"

#include "fsutil/file_queries.h"
#include "fsutil/platform_shim.h"

namespace velmora::engine {

std::optional<std::vector<MailboxFolder>> ListMailboxFolders(std::string top, std::string* why) {
  if (top.empty() || top.back() != fsutil::kPathSeparator) top += fsutil::kPathSeparator;
  fsutil::FolderListing listing = fsutil::ListFolder(top);
  std::vector<MailboxFolder> out;
  for (std::string name; listing.Next(&name);) {
    const uint32_t attributes = fsutil::PathAttributes(top + name);
    if (attributes != fsutil::kInvalidAttributes && (attributes & fsutil::kAttributeDirectory) != 0)
      out.push_back({name, top + name});
  }
  if (listing.error() != 0) {
    if (why) *why = fsutil::SystemErrorText(static_cast<int32_t>(listing.error()));
    return std::nullopt;
  }
  return out;
}

}  // namespace velmora::engine
