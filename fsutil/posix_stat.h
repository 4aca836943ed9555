// What the POSIX shim knows about one path: its Win32 attribute word and size, or the Win32 error that stands
// for the failure. Used by the attribute query and the search steps.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fsutil/platform_shim.h"

namespace velmora::fsutil {

struct PathStat {
  uint32_t attributes = 0;
  uint64_t size = 0;  // 0 for a folder
};

// Stats `path` following symbolic links; a link whose target is missing is reported as the link itself.
// `name` is the entry's own name, which decides the hidden bit. On failure returns the Win32 error code
// (ENOENT refined to 2 or 3 by whether the parent folder exists); on success 0.
uint32_t StatPath(const std::string& path, std::string_view name, PathStat* out);

// The last component of `path` ("/" separated, trailing separators ignored).
std::string_view LastPathComponent(std::string_view path);

// The device and inode of `path` (links followed); nothing when it cannot be stat'ed.
std::optional<FileId> FileIdOf(const std::string& path);

// Whether `a` and `b` name the same folder or file (device and inode).
bool SameFileSystemObject(const std::string& a, const std::string& b);

}  // namespace velmora::fsutil
