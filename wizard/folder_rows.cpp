#include "wizard/folder_rows.h"

#include "engine/mailbox_list.h"
#include "engine/path_helpers.h"

namespace velmora::wizard {

uint32_t RowBackColour(int index, uint32_t one, uint32_t two) {
  return index % 2 == 0 ? one : two;
}

std::string TopFolderPath(const std::string& picked) {
  if (picked.empty() || picked.back() == engine::kPathSeparator) return picked;
  return picked + engine::kPathSeparator;
}

SubFolderListing ListSubFolders(const std::string& top) {
  SubFolderListing listing;
  auto folders = engine::ListMailboxFolders(top, &listing.error);
  if (!folders) return listing;
  for (const auto& f : *folders) listing.names.push_back(f.name);
  listing.ok = true;
  return listing;
}

}  // namespace velmora::wizard
