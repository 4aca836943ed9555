// The node database's only door to storage. Everything it reads or writes goes through File, so tests can
// run on memory (MemoryFile) or on a file that fails and "crashes" on demand (FaultInjectingFile,
// testing/fault_file.h, a test-only library).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "pst/ndb/status.h"

namespace velmora::pst {

class File {
 public:
  virtual ~File() = default;
  // Reads exactly out.size() bytes at `offset`; reading past the end is an error.
  virtual Status ReadAt(uint64_t offset, std::span<uint8_t> out) = 0;
  // Writes all of `data` at `offset`, growing the file when needed.
  virtual Status WriteAt(uint64_t offset, std::span<const uint8_t> data) = 0;
  // Makes every write so far durable.
  virtual Status Sync() = 0;
  virtual Result<uint64_t> Size() = 0;
  // Grows (with zeros) or shrinks the file.
  virtual Status SetSize(uint64_t size) = 0;
  // Error texts name the file `path` from now on: a file made under a name of its own and published under
  // the name the user chose is named by that.
  virtual void Renamed(const std::string& path) { (void)path; }
};

enum class OpenMode {
  kReadOnly,
  kReadWrite,         // an existing file
  kCreateNew,         // fails with kAlreadyExists when the path exists
  kCreateOrTruncate,  // replaces whatever is there
};

// A file on disk through the platform layer (fsutil/file_io.h: pread/pwrite/fsync on POSIX, positioned
// ReadFile/WriteFile and FlushFileBuffers on Windows). Every mode but kReadOnly takes the one-writer lock on
// the file and fails with "<path> is in use by another program" while another writer holds it.
Result<std::unique_ptr<File>> OpenDiskFile(const std::string& path, OpenMode mode);
// Read-only, with a shared lock held while the file is open, so that no writer changes it under the reader
// (a writer reuses the space its last commit freed). While a writer holds the file: waits for it with
// `wait`, else fails with "<path> is being written by another program".
Result<std::unique_ptr<File>> OpenDiskFileShared(const std::string& path, bool wait);

// A file in memory; bytes() shows its content to tests.
class MemoryFile : public File {
 public:
  MemoryFile() = default;
  explicit MemoryFile(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  Status ReadAt(uint64_t offset, std::span<uint8_t> out) override;
  Status WriteAt(uint64_t offset, std::span<const uint8_t> data) override;
  Status Sync() override { return Status::Ok(); }
  Result<uint64_t> Size() override { return static_cast<uint64_t>(bytes_.size()); }
  Status SetSize(uint64_t size) override;
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace velmora::pst
