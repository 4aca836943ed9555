#include "fsutil/path_strings.h"

namespace velmora::fsutil {

std::string TrimAtNul(std::string_view s) {
  return std::string(s.substr(0, s.find('\0')));
}

std::string TrimBlanks(std::string_view s) {
  const size_t first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const size_t last = s.find_last_not_of(' ');
  return std::string(s.substr(first, last - first + 1));
}

}  // namespace velmora::fsutil
