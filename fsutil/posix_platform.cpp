// The POSIX implementation of the platform layer. What it promises is listed in platform_shim.h.
#include <dirent.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "fsutil/platform_shim.h"
#include "fsutil/posix_stat.h"
#include "fsutil/sorted_listing.h"
#include "fsutil/win32_errors.h"

namespace velmora::fsutil {
namespace {

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};

class PosixPlatform final : public Platform {
 public:
  uint32_t Stat(const std::string& path, PathStat* out) override {
    return StatPath(path, LastPathComponent(path), out);
  }

  uint32_t ReadFolder(const std::string& path, SortedListing& names) override {
    std::unique_ptr<DIR, DirCloser> dir(::opendir(path.empty() ? "." : path.c_str()));
    if (!dir) return errno == ENOENT || errno == ENOTDIR ? kErrorPathNotFound : Win32ErrorFromErrno(errno);
    errno = 0;
    while (const dirent* e = ::readdir(dir.get())) {
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
        if (const uint32_t err = names.Add(e->d_name); err != 0) return err;
      }
      errno = 0;
    }
    return Win32ErrorFromErrno(errno);
  }

  std::optional<FileId> Identity(const std::string& path) override { return FileIdOf(path); }
};

}  // namespace

Platform& SystemPlatform() {
  static PosixPlatform platform;
  return platform;
}

}  // namespace velmora::fsutil
