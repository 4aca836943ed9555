#include "wizard/folder_rows.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "fsutil/platform_shim.h"

namespace velmora::wizard {

uint32_t RowBackColour(int index, uint32_t one, uint32_t two) {
  return index % 2 == 0 ? one : two;
}

std::string TopFolderPath(const std::string& picked) {
  if (picked.empty() || picked.back() == fsutil::kPathSeparator) return picked;
  return picked + fsutil::kPathSeparator;
}

namespace {

// NTFS orders names by their upper-case form, code unit by code unit; ASCII folding is what matters here.
std::string UpperAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

}  // namespace

SubFolderListing ListSubFolders(const std::string& top) {
  namespace fs = std::filesystem;
  SubFolderListing listing;
  std::error_code ec;
  fs::directory_iterator it(fs::path(top), ec);
  if (ec) {
    listing.error = ec.message();
    return listing;
  }
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    std::error_code type_ec;
    if (it->is_directory(type_ec)) listing.names.push_back(it->path().filename().string());
  }
  if (ec) {
    listing.names.clear();
    listing.error = ec.message();
    return listing;
  }
  std::stable_sort(listing.names.begin(), listing.names.end(),
                   [](const std::string& a, const std::string& b) { return UpperAscii(a) < UpperAscii(b); });
  listing.ok = true;
  return listing;
}

}  // namespace velmora::wizard
