#include "pst/ndb/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "fsutil/file_io.h"
#include "pst/ndb/posix_file.h"

namespace velmora::pst {
namespace {

std::string Describe(const std::string& what, const std::string& path, int err) {
  return what + " " + path + ": " + std::strerror(err);
}

class PosixFile : public File {
 public:
  PosixFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  void Renamed(const std::string& path) override { path_ = path; }
  int fd() const { return fd_; }
  ~PosixFile() override { ::close(fd_); }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  Status ReadAt(uint64_t offset, std::span<uint8_t> out) override {
    const int err = fsutil::ReadAt(fd_, out.data(), out.size(), offset);
    if (err == fsutil::kEndOfFile)
      return Status::IoError("cannot read " + path_ + ": end of file within " + std::to_string(out.size()) +
                             " bytes at offset " + std::to_string(offset));
    if (err != 0) return Status::IoError(Describe("cannot read", path_, err));
    return Status::Ok();
  }

  Status WriteAt(uint64_t offset, std::span<const uint8_t> data) override {
    const int err = fsutil::WriteAt(fd_, data.data(), data.size(), offset);
    if (err == ENOSPC || err == EDQUOT) return Status::NoSpace(Describe("cannot write", path_, err));
    if (err != 0) return Status::IoError(Describe("cannot write", path_, err));
    return Status::Ok();
  }

  Status Sync() override {
    if (::fsync(fd_) != 0) return Status::IoError(Describe("cannot sync", path_, errno));
    return Status::Ok();
  }

  Result<uint64_t> Size() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return Status::IoError(Describe("cannot stat", path_, errno));
    return static_cast<uint64_t>(st.st_size);
  }

  Status SetSize(uint64_t size) override {
    if (size > static_cast<uint64_t>(std::numeric_limits<off_t>::max()))
      return Status::InvalidArgument("file size too large");
    int rc;
    do {
      rc = ::ftruncate(fd_, static_cast<off_t>(size));
    } while (rc != 0 && errno == EINTR);
    if (rc != 0 && errno == ENOSPC) return Status::NoSpace(Describe("cannot resize", path_, errno));
    if (rc != 0) return Status::IoError(Describe("cannot resize", path_, errno));
    return Status::Ok();
  }

 private:
  int fd_;
  std::string path_;
};

}  // namespace

Result<std::unique_ptr<File>> OpenPosixFile(const std::string& path, OpenMode mode) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::kReadOnly:
      flags |= O_RDONLY;
      break;
    case OpenMode::kReadWrite:
      flags |= O_RDWR;
      break;
    case OpenMode::kCreateNew:
      flags |= O_RDWR | O_CREAT | O_EXCL;
      break;
    case OpenMode::kCreateOrTruncate:
      flags |= O_RDWR | O_CREAT | O_NOFOLLOW;  // truncated once the lock is held
      break;
  }
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (errno == EEXIST) return Status::AlreadyExists(Describe("cannot create", path, errno));
    if (errno == ENOENT) return Status::NotFound(Describe("cannot open", path, errno));
    return Status::IoError(Describe("cannot open", path, errno));
  }
  std::unique_ptr<File> file(new PosixFile(fd, path));
  // One writer at a time: a writable open holds an exclusive lock for as long as the descriptor is open
  // (flock locks belong to the open file description, so the lock goes when the process does, even on
  // SIGKILL). Readers that must not see a commit under way take a shared lock (OpenPosixFileShared).
  if (mode != OpenMode::kReadOnly) {
    PST_RETURN_IF_ERROR(LockExclusive(fd, path));
    if (mode == OpenMode::kCreateOrTruncate) {
      // A file with a second name is somebody's data under another name: never emptied.
      struct stat st;
      if (::fstat(fd, &st) != 0) return Status::IoError(Describe("cannot stat", path, errno));
      if (!S_ISREG(st.st_mode) || st.st_nlink > 1)
        return Status::AlreadyExists("cannot replace " + path + ": it is not a file of its own");
      PST_RETURN_IF_ERROR(file->SetSize(0));
    }
  }
  return file;
}

std::unique_ptr<File> AdoptDescriptor(int fd, std::string path) {
  return std::unique_ptr<File>(new PosixFile(fd, std::move(path)));
}

Status LockExclusive(int fd, const std::string& path) {
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0 && errno == EWOULDBLOCK) return Status::IoError(path + " is in use by another program");
  if (rc != 0) return Status::IoError(Describe("cannot lock", path, errno));
  return Status::Ok();
}

Result<std::unique_ptr<File>> OpenPosixFileShared(const std::string& path, bool wait) {
  PST_ASSIGN_OR_RETURN(auto file, OpenPosixFile(path, OpenMode::kReadOnly));
  const int fd = static_cast<PosixFile&>(*file).fd();
  int rc;
  do {
    rc = ::flock(fd, LOCK_SH | (wait ? 0 : LOCK_NB));
  } while (rc != 0 && errno == EINTR);
  if (rc != 0 && errno == EWOULDBLOCK) return Status::IoError(path + " is being written by another program");
  if (rc != 0) return Status::IoError(Describe("cannot lock", path, errno));
  return file;
}

Status MemoryFile::ReadAt(uint64_t offset, std::span<uint8_t> out) {
  if (offset > bytes_.size() || out.size() > bytes_.size() - offset)
    return Status::IoError("read past end of memory file at offset " + std::to_string(offset));
  std::memcpy(out.data(), bytes_.data() + offset, out.size());
  return Status::Ok();
}

Status MemoryFile::WriteAt(uint64_t offset, std::span<const uint8_t> data) {
  if (offset + data.size() > bytes_.size()) bytes_.resize(offset + data.size());
  if (!data.empty()) std::memcpy(bytes_.data() + offset, data.data(), data.size());
  return Status::Ok();
}

Status MemoryFile::SetSize(uint64_t size) {
  bytes_.resize(size);
  return Status::Ok();
}

}  // namespace velmora::pst
