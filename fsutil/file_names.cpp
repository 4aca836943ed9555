// The parts of file_names.h that are the same on every platform.
#include "fsutil/file_names.h"

#include <vector>

#include "fsutil/platform_shim.h"

namespace velmora::fsutil {
namespace {

// Where the last component of `path` begins after its separator; npos when there is no separator. Windows
// accepts "/" as well as "\".
size_t LastSeparator(const std::string& path) {
#ifdef _WIN32
  return path.find_last_of("\\/");
#else
  return path.rfind(kPathSeparator);
#endif
}

}  // namespace

std::string FolderOfPath(const std::string& path) {
  const size_t sep = LastSeparator(path);
  if (sep == std::string::npos) return ".";
  // The root keeps its separator: "/" on POSIX, "C:\" on Windows.
  bool root = sep == 0;
#ifdef _WIN32
  root = root || (sep == 2 && path[1] == ':');
#endif
  if (root) return path.substr(0, sep + 1);
  return path.substr(0, sep);
}

std::string RandomHexName(size_t digits) {
  std::vector<uint8_t> bytes(digits / 2);
  SystemRandomBytes(bytes);
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

std::string LeafOfPath(const std::string& path) {
  const size_t sep = LastSeparator(path);
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

}  // namespace velmora::fsutil
