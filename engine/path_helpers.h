// Taking a file-system path apart at its last separator. The separator is a parameter: file-system paths use
// fsutil::kPathSeparator ("/" on POSIX); the Windows form of the same rules passes "\".
//
//   path                      PathFileName   PathParent
//   "C:\Export\Inbox\1.eml"   "1.eml"        "C:\Export\Inbox\"
//   "C:\Export\Inbox\"        ""             "C:\Export\Inbox\"   (unchanged: not its parent)
//   "C:\"                     ""             "C:\"
//   "Inbox"                   "Inbox"        ""
//
// Both are meant for non-empty paths: an empty path has no piece to take and gives Error 9.
#pragma once

#include <string>
#include <string_view>

#include "fsutil/platform_shim.h"

namespace velmora::engine {

// The file system's separator, for the layers above the engine.
using fsutil::kPathSeparator;

// The part of `path` after its last separator (the first piece of the reversed path split at every separator,
// reversed back).
std::string PathFileName(std::string_view path, char sep = fsutil::kPathSeparator);

// `path` up to and including its last separator: its first (length - length of PathFileName) characters.
std::string PathParent(std::string_view path, char sep = fsutil::kPathSeparator);

}  // namespace velmora::engine
