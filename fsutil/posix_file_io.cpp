// The POSIX implementation of file_io.h and file_names.h.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "fsutil/file_io.h"
#include "fsutil/file_names.h"

namespace velmora::fsutil {
namespace {

// FILETIME counts 100 ns since 1601-01-01; the Unix epoch is 11,644,473,600 s later.
constexpr uint64_t kEpochDeltaSeconds = 11644473600ULL;
constexpr uint64_t kTicksPerSecond = 10000000ULL;

int64_t Nanoseconds(const timespec& t) {
  return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

FileFacts FactsOf(const struct stat& st) {
  FileFacts f;
  f.regular = S_ISREG(st.st_mode);
  f.folder = S_ISDIR(st.st_mode);
  f.size = static_cast<uint64_t>(st.st_size);
  f.links = static_cast<uint32_t>(st.st_nlink);
  f.id = FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  if (st.st_mtim.tv_sec > 0)
    f.modified = (static_cast<uint64_t>(st.st_mtim.tv_sec) + kEpochDeltaSeconds) * kTicksPerSecond +
                 static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100;
  f.modified_ns = Nanoseconds(st.st_mtim);
  f.changed_ns = Nanoseconds(st.st_ctim);
  return f;
}

int Flock(int fd, int operation) {
  int rc;
  do {
    rc = ::flock(fd, operation);
  } while (rc != 0 && errno == EINTR);
  return rc == 0 ? 0 : errno;
}

}  // namespace

int OpenFile(const std::string& path, OpenFor how, int* fd) {
  int flags = O_CLOEXEC;
  switch (how) {
    case OpenFor::kReading:
      flags |= O_RDONLY;
      break;
    case OpenFor::kReadWrite:
      flags |= O_RDWR;
      break;
    case OpenFor::kCreateNew:
      flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW;  // O_EXCL never opens what is there, a link included
      break;
    case OpenFor::kCreateOrOpen:
      flags |= O_RDWR | O_CREAT | O_NOFOLLOW;
      break;
  }
  do {
    *fd = ::open(path.c_str(), flags, 0644);
  } while (*fd < 0 && errno == EINTR);
  return *fd < 0 ? errno : 0;
}

void CloseFile(int fd) {
  ::close(fd);
}

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

int SyncFile(int fd) {
  return ::fsync(fd) == 0 ? 0 : errno;
}

int SetFileSize(int fd, uint64_t size) {
  static_assert(sizeof(off_t) == 8, "file offsets are 64 bits");
  if (size > static_cast<uint64_t>(INT64_MAX)) return EFBIG;
  int rc;
  do {
    rc = ::ftruncate(fd, static_cast<off_t>(size));
  } while (rc != 0 && errno == EINTR);
  return rc == 0 ? 0 : errno;
}

int FactsOfFile(int fd, FileFacts* out) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return errno;
  *out = FactsOf(st);
  return 0;
}

int FactsOfPath(const std::string& path, FileFacts* out, bool follow_links) {
  struct stat st {};
  if ((follow_links ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) return errno;
  *out = FactsOf(st);
  return 0;
}

int LockFile(int fd, LockKind kind, bool wait) {
  return Flock(fd, (kind == LockKind::kExclusive ? LOCK_EX : LOCK_SH) | (wait ? 0 : LOCK_NB));
}

int DuplicateAt(int fd, uint64_t offset, int* out) {
  *out = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (*out < 0) return errno;
  if (::lseek(*out, static_cast<off_t>(offset), SEEK_SET) < 0) {
    const int err = errno;
    ::close(*out);
    return err;
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

std::string ErrorText(int err) {
  return std::strerror(err);
}

int RemoveName(const std::string& path) {
  return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int PublishName(const std::string& from, const std::string& to) {
  const std::string folder = FolderOfPath(to);
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    // The new name is durable once its folder is.
    if (int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
    return 0;
  }
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
  // This file system renames only by replacing. Every run of this program publishes into a folder under
  // the folder's lock, so no run's file appears between the look and the rename.
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return errno;
  int err = Flock(dir, LOCK_EX);
  struct stat st;
  if (err == 0) {
    if (::lstat(to.c_str(), &st) == 0 || errno != ENOENT) {
      err = EEXIST;
    } else if (::rename(from.c_str(), to.c_str()) != 0) {
      err = errno;
    } else {
      ::fsync(dir);
    }
  }
  ::close(dir);  // and with it the lock
  return err;
}

void RemoveUnlockedFiles(const std::string& folder, const std::function<bool(const std::string&)>& wanted) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  const int dir_fd = ::dirfd(dir);
  while (dirent* e = ::readdir(dir)) {
    if (!wanted(e->d_name)) continue;
    int fd = ::openat(dir_fd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
      ::unlinkat(dir_fd, e->d_name, 0);
    ::close(fd);
  }
  ::closedir(dir);
}

void SystemRandomBytes(std::span<uint8_t> out) {
  size_t got = 0;
  while (got < out.size()) {
    ssize_t n = ::getrandom(out.data() + got, out.size() - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  if (got < out.size()) {
    // No random source: the process, the time and a counter still make bytes no other run has.
    static uint64_t counter = 0;
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    uint64_t mix = (static_cast<uint64_t>(::getpid()) << 40) ^ static_cast<uint64_t>(ts.tv_nsec) ^
                   (static_cast<uint64_t>(ts.tv_sec) << 20) ^ ++counter;
    for (uint8_t& b : out) b = static_cast<uint8_t>(mix >>= 8) ^ b;
  }
}

}  // namespace velmora::fsutil
