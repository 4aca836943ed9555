#include "wizard/folder_rows.h"

#include "engine/mailbox_list.h"
#include "fsutil/file_queries.h"
#include "fsutil/platform_shim.h"

namespace velmora::wizard {

uint32_t RowBackColour(int index, uint32_t one, uint32_t two) {
  return index % 2 == 0 ? one : two;
}

std::string TopFolderPath(const std::string& picked) {
  if (picked.empty() || picked.back() == fsutil::kPathSeparator) return picked;
  return picked + fsutil::kPathSeparator;
}

SubFolderListing ListSubFolders(const std::string& top) {
  SubFolderListing listing;
  auto folders = engine::ListMailboxFolders(top);
  if (!folders) {
    listing.error = fsutil::SystemErrorText(fsutil::LastError());
    return listing;
  }
  for (const auto& f : *folders) listing.names.push_back(f.name);
  listing.ok = true;
  return listing;
}

}  // namespace velmora::wizard
