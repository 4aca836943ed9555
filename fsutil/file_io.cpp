#include "fsutil/file_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace velmora::fsutil {

int ReadAt(int fd, void* out, size_t size, uint64_t offset) {
  auto* p = static_cast<char*>(out);
  for (size_t done = 0; done < size;) {
    const ssize_t n = ::pread(fd, p + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return kEndOfFile;
    done += static_cast<size_t>(n);
  }
  return 0;
}

int WriteAt(int fd, const void* data, size_t size, uint64_t offset) {
  const auto* p = static_cast<const char*>(data);
  for (size_t done = 0; done < size;) {
    const ssize_t n = ::pwrite(fd, p + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return ENOSPC;
    done += static_cast<size_t>(n);
  }
  return 0;
}

std::string TempFolder(const std::string& folder) {
  if (!folder.empty()) return folder;
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

int OpenUnlinkedTempFile(const std::string& folder, int* fd) {
  std::string path = TempFolder(folder) + "/velmora-XXXXXX";
  *fd = ::mkostemp(path.data(), O_CLOEXEC);
  if (*fd < 0) return errno;
  ::unlink(path.c_str());
  return 0;
}

}  // namespace velmora::fsutil
