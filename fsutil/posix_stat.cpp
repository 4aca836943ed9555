#include "fsutil/posix_stat.h"

#include <sys/stat.h>

#include <cerrno>

#include "fsutil/platform_shim.h"
#include "fsutil/win32_errors.h"

namespace velmora::fsutil {
namespace {

// The fields of stat that the attribute word and the find data are made of.
struct RawStat {
  uint32_t mode = 0;
  uint64_t size = 0;  // 64 bits: files past 4 GiB keep their size
};

int RawStatCall(const std::string& path, bool follow, RawStat* out) {
  struct stat st {};
  if ((follow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) return errno;
  out->mode = static_cast<uint32_t>(st.st_mode);
  out->size = static_cast<uint64_t>(st.st_size);
  return 0;
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The folder part of `path` for the 2-or-3 decision: everything before its last component.
std::string ParentOf(const std::string& path) {
  const std::string_view last = LastPathComponent(path);
  const size_t end = static_cast<size_t>(last.data() - path.data());
  return end == 0 ? std::string(".") : path.substr(0, end);
}

}  // namespace

std::string_view LastPathComponent(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::optional<FileId> FileIdOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

uint32_t StatPath(const std::string& path, std::string_view name, PathStat* out) {
  RawStat raw;
  int err = RawStatCall(path, /*follow=*/true, &raw);
  if (err == ENOENT && RawStatCall(path, /*follow=*/false, &raw) == 0) err = 0;  // a dangling link
  if (err != 0) {
    if (err == ENOENT) return IsFolder(ParentOf(path)) ? kErrorFileNotFound : kErrorPathNotFound;
    return Win32ErrorFromErrno(err);
  }
  uint32_t attributes = 0;
  const bool folder = S_ISDIR(raw.mode);
  if (folder) attributes |= kAttributeDirectory;
  if ((raw.mode & S_IWUSR) == 0) attributes |= kAttributeReadOnly;
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") attributes |= kAttributeHidden;
  if (attributes == 0) attributes = kAttributeNormal;
  out->attributes = attributes;
  out->size = folder ? 0 : raw.size;
  return kErrorSuccess;
}

}  // namespace velmora::fsutil
