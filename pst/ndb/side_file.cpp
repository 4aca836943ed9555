#include "pst/ndb/side_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "pst/ndb/posix_file.h"

namespace velmora::pst {
namespace {

constexpr const char* kSideInfix = ".new.";
constexpr size_t kRandomDigits = 16;

std::string Folder(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Leaf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RandomDigits() {
  unsigned char bytes[kRandomDigits / 2] = {};
  size_t got = 0;
  while (got < sizeof bytes) {
    ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  if (got < sizeof bytes) {
    // No random source: the process and the time still make a name no other run picks.
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    uint64_t mix = (static_cast<uint64_t>(::getpid()) << 40) ^ static_cast<uint64_t>(ts.tv_nsec) ^
                   (static_cast<uint64_t>(ts.tv_sec) << 20);
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(mix >>= 8) ^ b;
  }
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

bool IsSideName(const std::string& name, const std::string& prefix) {
  if (name.size() != prefix.size() + kRandomDigits || name.compare(0, prefix.size(), prefix) != 0)
    return false;
  for (size_t i = prefix.size(); i < name.size(); ++i) {
    const char c = name[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// Side files of a run that ended without publishing: no process holds their lock. Only their names go.
void SweepLeftovers(const std::string& path) {
  const std::string prefix = Leaf(path) + kSideInfix;
  DIR* dir = ::opendir(Folder(path).c_str());
  if (!dir) return;
  const int dir_fd = ::dirfd(dir);
  while (dirent* e = ::readdir(dir)) {
    if (!IsSideName(e->d_name, prefix)) continue;
    int fd = ::openat(dir_fd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
      ::unlinkat(dir_fd, e->d_name, 0);
    ::close(fd);
  }
  ::closedir(dir);
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

PathKind KindOf(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return PathKind::kMissing;
  return S_ISREG(st.st_mode) ? PathKind::kFile : PathKind::kOther;
}

Result<SideFile> CreateSideFile(const std::string& path) {
  SweepLeftovers(path);
  int last_error = 0;
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string side = path + kSideInfix + RandomDigits();
    // O_EXCL with O_CREAT never opens what is there, a link included; O_NOFOLLOW says so twice.
    int fd = ::open(side.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0 && (errno == EEXIST || errno == EINTR)) {
      last_error = errno;
      continue;
    }
    if (fd < 0) return Status::IoError("cannot create " + side + ": " + std::strerror(errno));
    std::unique_ptr<File> file = AdoptDescriptor(fd, side);
    if (Status locked = LockExclusive(fd, side); !locked.ok()) {
      ::unlink(side.c_str());
      return locked;
    }
    // A sweep by another run may have taken the name between the open and the lock: then start again.
    struct stat held, named;
    if (::fstat(fd, &held) != 0) return Status::IoError("cannot stat " + side + ": " + std::strerror(errno));
    if (::lstat(side.c_str(), &named) != 0 || !SameFile(held, named) || held.st_nlink != 1) {
      last_error = EEXIST;
      continue;
    }
    return SideFile{std::move(file), std::move(side)};
  }
  return Status::IoError("cannot create a new file beside " + path + ": " + std::strerror(last_error));
}

Status PublishSideFile(const std::string& side_path, const std::string& path) {
  const std::string exists = "cannot create " + path + ": it exists";
  if (::renameat2(AT_FDCWD, side_path.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
    // The new name is durable once its folder is.
    if (int dir = ::open(Folder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
    return Status::Ok();
  }
  if (errno == EEXIST) return Status::AlreadyExists(exists);
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
    return Status::IoError("cannot create " + path + ": " + std::strerror(errno));
  // This file system renames only by replacing. Every run of this program publishes into a folder under
  // the folder's lock, so no run's file appears between the look and the rename.
  int dir = ::open(Folder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return Status::IoError("cannot create " + path + ": " + std::strerror(errno));
  int rc;
  do {
    rc = ::flock(dir, LOCK_EX);
  } while (rc != 0 && errno == EINTR);
  Status result = Status::Ok();
  struct stat st;
  if (rc != 0) {
    result = Status::IoError("cannot lock the folder of " + path + ": " + std::strerror(errno));
  } else if (::lstat(path.c_str(), &st) == 0 || errno != ENOENT) {
    result = Status::AlreadyExists(exists);
  } else if (::rename(side_path.c_str(), path.c_str()) != 0) {
    result = Status::IoError("cannot create " + path + ": " + std::strerror(errno));
  } else {
    ::fsync(dir);
  }
  ::close(dir);  // and with it the lock
  return result;
}

void RemoveSideFile(const std::string& side_path) {
  ::unlink(side_path.c_str());
}

}  // namespace velmora::pst
