// The two trims of the file query layer. Neither touches the file system.
#pragma once

#include <string>
#include <string_view>

namespace velmora::fsutil {

// The string up to (not including) its first NUL; the whole string when it holds none.
std::string TrimAtNul(std::string_view s);

// The string without blanks (spaces only) at either end.
std::string TrimBlanks(std::string_view s);

}  // namespace velmora::fsutil
