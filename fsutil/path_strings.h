// The pure string rules of the file query layer: how a search path is classified and where its folder ends,
// a name's extension, the long-path form, and the two trims. None of them touches the file system.
//
// Functions that split at a separator take it as a parameter: file-system paths use kPathSeparator ("/" on
// POSIX); the Windows forms ("C:\Mail\*", "\\srv\share\*") are the same rules with "\".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "fsutil/platform_shim.h"

namespace velmora::fsutil {

// Kind of a search path.
enum class PathKind : int32_t {
  Local = 1,
  Unc = 2,  // begins with two separators ("\\server\share" on Windows)
  Ftp = 3,  // begins with "ftp://", compared without regard to case
};

PathKind ClassifySearchPath(std::string_view search_path, char sep = kPathSeparator);

// The search path up to and including its last separator that stands before its final character (a search
// path that ends in its separator takes the one before it); empty when there is none, and for Unc also when
// that separator is one of the two leading ones. Ftp search paths use "/" whatever `sep` is.
std::string SearchFolder(std::string_view search_path, PathKind kind, char sep = kPathSeparator);

// The part of a name after its last "."; empty when the name holds no ".".
std::string NameExtension(std::string_view name);

// The part of a full path after its last separator that stands before its final character, without a trailing
// separator: the name of the last component.
std::string NameFromFullPath(std::string_view full_path, char sep = kPathSeparator);

// The long-path form, as UTF-16 with its terminating NUL: "\\?\UNC\" + the path from its third character when
// it begins with "\\", else "\\?\" + the path. Relative paths and "/" separators are not resolved.
std::u16string LongPathForm(std::string_view path);

// The string up to (not including) its first NUL; the whole string when it holds none.
std::string TrimAtNul(std::string_view s);

// The string without blanks (spaces only) at either end.
std::string TrimBlanks(std::string_view s);

}  // namespace velmora::fsutil
