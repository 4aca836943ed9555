// What the POSIX platform knows about one path: its Win32 attribute word and size, or the Win32 error that stands
// for the failure.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fsutil/platform_shim.h"

namespace velmora::fsutil {

// Stats `path` following symbolic links; a link whose target is missing is reported as the link itself.
// `name` is the entry's own name, which decides the hidden bit. On failure returns the Win32 error code
// (ENOENT refined to 2 or 3 by whether the parent folder exists); on success 0.
uint32_t StatPath(const std::string& path, std::string_view name, PathStat* out);

// The last component of `path` ("/" separated, trailing separators ignored).
std::string_view LastPathComponent(std::string_view path);

// The device and inode of `path` (links followed); nothing when it cannot be stat'ed.
std::optional<FileId> FileIdOf(const std::string& path);

}  // namespace velmora::fsutil
