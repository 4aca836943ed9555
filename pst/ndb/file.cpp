#include "pst/ndb/file.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "fsutil/file_io.h"
#include "pst/ndb/descriptor_file.h"

namespace velmora::pst {
namespace {

std::string Describe(const std::string& what, const std::string& path, int err) {
  return what + " " + path + ": " + fsutil::ErrorText(err);
}

bool OutOfSpace(int err) {
#ifdef EDQUOT
  if (err == EDQUOT) return true;
#endif
  return err == ENOSPC;
}

class DiskFile : public File {
 public:
  DiskFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  void Renamed(const std::string& path) override { path_ = path; }
  int fd() const { return fd_; }
  ~DiskFile() override { fsutil::CloseFile(fd_); }
  DiskFile(const DiskFile&) = delete;
  DiskFile& operator=(const DiskFile&) = delete;

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
    if (OutOfSpace(err)) return Status::NoSpace(Describe("cannot write", path_, err));
    if (err != 0) return Status::IoError(Describe("cannot write", path_, err));
    return Status::Ok();
  }

  Status Sync() override {
    if (const int err = fsutil::SyncFile(fd_); err != 0)
      return Status::IoError(Describe("cannot sync", path_, err));
    return Status::Ok();
  }

  Result<uint64_t> Size() override {
    fsutil::FileFacts facts;
    if (const int err = fsutil::FactsOfFile(fd_, &facts); err != 0)
      return Status::IoError(Describe("cannot stat", path_, err));
    return facts.size;
  }

  Status SetSize(uint64_t size) override {
    if (size > static_cast<uint64_t>(INT64_MAX)) return Status::InvalidArgument("file size too large");
    const int err = fsutil::SetFileSize(fd_, size);
    if (OutOfSpace(err)) return Status::NoSpace(Describe("cannot resize", path_, err));
    if (err != 0) return Status::IoError(Describe("cannot resize", path_, err));
    return Status::Ok();
  }

 private:
  int fd_;
  std::string path_;
};

fsutil::OpenFor OpenForOf(OpenMode mode) {
  switch (mode) {
    case OpenMode::kReadOnly:
      return fsutil::OpenFor::kReading;
    case OpenMode::kReadWrite:
      return fsutil::OpenFor::kReadWrite;
    case OpenMode::kCreateNew:
      return fsutil::OpenFor::kCreateNew;
    case OpenMode::kCreateOrTruncate:
      break;
  }
  return fsutil::OpenFor::kCreateOrOpen;  // truncated once the lock is held
}

}  // namespace

Result<std::unique_ptr<File>> OpenDiskFile(const std::string& path, OpenMode mode) {
  int fd = -1;
  if (const int err = fsutil::OpenFile(path, OpenForOf(mode), &fd); err != 0) {
    if (err == EEXIST) return Status::AlreadyExists(Describe("cannot create", path, err));
    if (err == ENOENT) return Status::NotFound(Describe("cannot open", path, err));
    return Status::IoError(Describe("cannot open", path, err));
  }
  std::unique_ptr<File> file(new DiskFile(fd, path));
  // One writer at a time: a writable open holds an exclusive lock for as long as the descriptor is open
  // (the lock belongs to the open file, so it goes when the process does, even when killed). Readers that
  // must not see a commit under way take a shared lock (OpenDiskFileShared).
  if (mode != OpenMode::kReadOnly) {
    PST_RETURN_IF_ERROR(LockExclusive(fd, path));
    if (mode == OpenMode::kCreateOrTruncate) {
      // A file with a second name is somebody's data under another name: never emptied.
      fsutil::FileFacts facts;
      if (const int err = fsutil::FactsOfFile(fd, &facts); err != 0)
        return Status::IoError(Describe("cannot stat", path, err));
      if (!facts.regular || facts.links > 1)
        return Status::AlreadyExists("cannot replace " + path + ": it is not a file of its own");
      PST_RETURN_IF_ERROR(file->SetSize(0));
    }
  }
  return file;
}

std::unique_ptr<File> AdoptDescriptor(int fd, std::string path) {
  return std::unique_ptr<File>(new DiskFile(fd, std::move(path)));
}

Status LockExclusive(int fd, const std::string& path) {
  const int err = fsutil::LockFile(fd, fsutil::LockKind::kExclusive, /*wait=*/false);
  if (err == EWOULDBLOCK) return Status::IoError(path + " is in use by another program");
  if (err != 0) return Status::IoError(Describe("cannot lock", path, err));
  return Status::Ok();
}

Result<std::unique_ptr<File>> OpenDiskFileShared(const std::string& path, bool wait) {
  PST_ASSIGN_OR_RETURN(auto file, OpenDiskFile(path, OpenMode::kReadOnly));
  const int fd = static_cast<DiskFile&>(*file).fd();
  const int err = fsutil::LockFile(fd, fsutil::LockKind::kShared, wait);
  if (err == EWOULDBLOCK) return Status::IoError(path + " is being written by another program");
  if (err != 0) return Status::IoError(Describe("cannot lock", path, err));
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
