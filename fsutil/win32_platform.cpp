// The Win32 implementation of the platform layer: kernel32 itself, the behaviour posix_platform.cpp imitates.
// Attribute words and error codes are the system's own; paths go to the ...W calls in their wide form.
#include <windows.h>

#include "fsutil/file_io.h"
#include "fsutil/platform_shim.h"
#include "fsutil/sorted_listing.h"
#include "fsutil/win32_errors.h"
#include "fsutil/win32_support.h"

namespace velmora::fsutil {
namespace {

class Win32Platform final : public Platform {
 public:
  uint32_t Stat(const std::string& path, PathStat* out) override {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data)) return GetLastError();
    out->attributes = data.dwFileAttributes;
    const bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    out->size = folder ? 0 : (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return kErrorSuccess;
  }

  uint32_t ReadFolder(const std::string& path, SortedListing& names) override {
    std::string pattern = path.empty() ? std::string(".") : path;
    if (pattern.back() != '\\' && pattern.back() != '/') pattern.push_back('\\');
    pattern.push_back('*');
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileExW(WidePath(pattern).c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
      const DWORD code = GetLastError();
      if (code == ERROR_FILE_NOT_FOUND) return kErrorSuccess;  // a drive root without entries
      // A file where a folder was meant: 3, whichever code the search gave (267, 123, ...).
      const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return kErrorPathNotFound;
      return code == ERROR_DIRECTORY ? kErrorPathNotFound : code;
    }
    uint32_t error = kErrorSuccess;
    do {
      const std::string name = NarrowName(found.cFileName);
      if (name != "." && name != "..") error = names.Add(name);
    } while (error == kErrorSuccess && FindNextFileW(search, &found));
    if (error == kErrorSuccess && GetLastError() != ERROR_NO_MORE_FILES) error = GetLastError();
    FindClose(search);
    return error;
  }

  std::optional<FileId> Identity(const std::string& path) override {
    FileFacts facts;
    if (FactsOfPath(path, &facts) != 0) return std::nullopt;
    return facts.id;
  }
};

}  // namespace

Platform& SystemPlatform() {
  static Win32Platform platform;
  return platform;
}

}  // namespace velmora::fsutil
