// Existence tests built on the file query layer. Neither test raises an error: a failed query counts as
// absence.
#pragma once

#include <string>
#include <string_view>

#include "fsutil/platform_shim.h"

namespace velmora::fsutil {

// The path without blanks at either end, ending in the separator; a lone separator for an empty or blank
// path.
std::string AddBackslash(std::string_view path, char sep = kPathSeparator);

// Whether `path` is an existing folder (with or without a trailing separator).
bool FolderExists(const std::string& path);

// Whether `path` is an existing entry that is not a folder.
bool FileExists(const std::string& path);

}  // namespace velmora::fsutil
