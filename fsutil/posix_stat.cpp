#include "fsutil/posix_stat.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "fsutil/platform_shim.h"
#include "fsutil/win32_errors.h"

namespace velmora::fsutil {
namespace {

// The fields of stat/statx that the attribute word and the find data are made of.
struct RawStat {
  uint32_t mode = 0;
  uint64_t size = 0;
  int64_t birth_s = 0, birth_ns = 0;
  bool has_birth = false;
  int64_t access_s = 0, access_ns = 0;
  int64_t write_s = 0, write_ns = 0;
};

int RawStatCall(const std::string& path, bool follow, RawStat* out) {
#if defined(__linux__) && defined(STATX_BTIME)
  struct statx sx {};
  const int flags = follow ? 0 : AT_SYMLINK_NOFOLLOW;
  if (statx(AT_FDCWD, path.c_str(), flags, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return errno;
  out->mode = sx.stx_mode;
  out->size = sx.stx_size;
  out->has_birth = (sx.stx_mask & STATX_BTIME) != 0;
  out->birth_s = sx.stx_btime.tv_sec, out->birth_ns = sx.stx_btime.tv_nsec;
  out->access_s = sx.stx_atime.tv_sec, out->access_ns = sx.stx_atime.tv_nsec;
  out->write_s = sx.stx_mtime.tv_sec, out->write_ns = sx.stx_mtime.tv_nsec;
#else
  struct stat st {};
  if ((follow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) return errno;
  out->mode = static_cast<uint32_t>(st.st_mode);
  out->size = static_cast<uint64_t>(st.st_size);
  out->access_s = st.st_atime, out->write_s = st.st_mtime;
#endif
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

bool SameFileSystemObject(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
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
  out->last_access = FileTimeFromUnix(raw.access_s, raw.access_ns);
  out->last_write = FileTimeFromUnix(raw.write_s, raw.write_ns);
  out->creation = raw.has_birth ? FileTimeFromUnix(raw.birth_s, raw.birth_ns) : out->last_write;
  out->size = folder ? 0 : raw.size;
  return kErrorSuccess;
}

}  // namespace velmora::fsutil
