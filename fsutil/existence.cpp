#include "fsutil/existence.h"

#include "fsutil/file_queries.h"
#include "fsutil/name_order.h"

namespace velmora::fsutil {

std::string AddBackslash(std::string_view path, char sep) {
  std::string trimmed = TrimBlanks(path);
  if (trimmed.empty()) return std::string(1, sep);
  if (trimmed.back() != sep) trimmed.push_back(sep);
  return trimmed;
}

bool FolderExists(const std::string& path) {
  const std::string folder_form = AddBackslash(path);

  // 1. The path exactly as passed.
  const uint32_t attributes = PathAttributes(path);
  bool found = attributes != kInvalidAttributes && (attributes & kAttributeDirectory) != 0;

  // 2. The trimmed folder form can be listed. An empty or blank path would be the root of the whole file
  // system (on Windows no full path at all), so it is not listed.
  if (!found && !TrimBlanks(path).empty()) found = ListFolder(folder_form).error() == 0;

  // 3. An entry named "nul" inside it: on Windows the null device, which every folder seems to hold; here an
  // ordinary name.
  if (!found) found = FileExists(folder_form + "nul");
  return found;
}

bool FileExists(const std::string& path) {
  const uint32_t attributes = PathAttributes(path);
  bool found = attributes != kInvalidAttributes && (attributes & kAttributeDirectory) == 0;
  if (!found) {
    // The query failed, or the path is a folder: its folder's listing may still hold it under its name
    // (compared without regard to case, as NTFS does).
    const size_t sep = path.rfind(kPathSeparator);
    const std::string folder = sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
    const std::u16string key = NameKey(path.substr(folder.size()));
    FolderListing listing = ListFolder(folder);
    for (std::string name; !key.empty() && listing.Next(&name);) {
      if (NameKey(name) != key) continue;
      const uint32_t own = PathAttributes(folder + name);
      found = own == kInvalidAttributes || (own & kAttributeDirectory) == 0;
      break;
    }
  }
  return found;
}

}  // namespace velmora::fsutil
