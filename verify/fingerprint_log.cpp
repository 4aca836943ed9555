// Record layout: a 4-byte length (host order) and the bytes of Serialize.
#include "verify/fingerprint_log.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "fsutil/file_io.h"

namespace velmora::verify {

namespace {

bool WriteAll(int fd, const char* p, size_t n, uint64_t offset) {
  return fsutil::WriteAt(fd, p, n, offset) == 0;
}

bool ReadAll(int fd, char* p, size_t n, uint64_t offset) {
  return fsutil::ReadAt(fd, p, n, offset) == 0;
}

}  // namespace

FingerprintLog::FingerprintLog(const std::string& dir) {
  if (const int err = fsutil::OpenUnlinkedTempFile(dir, &fd_); err != 0)
    error_ = "cannot make a temporary file in " + fsutil::TempFolder(dir) + ": " + fsutil::ErrorText(err);
}

FingerprintLog::~FingerprintLog() {
  if (fd_ >= 0) fsutil::CloseFile(fd_);
}

uint64_t FingerprintLog::Append(const Fingerprint& f) {
  const uint64_t at = end_;
  if (!ok()) return at;
  const std::string bytes = Serialize(f);
  const uint32_t n = static_cast<uint32_t>(bytes.size());
  if (!WriteAll(fd_, reinterpret_cast<const char*>(&n), sizeof n, at) ||
      !WriteAll(fd_, bytes.data(), bytes.size(), at + sizeof n)) {
    error_ = std::string("cannot write the fingerprint file: ") + std::strerror(errno);
    return at;
  }
  end_ += sizeof n + bytes.size();
  ++count_;
  return at;
}

bool FingerprintLog::ReadAt(uint64_t offset, Fingerprint& f) const {
  uint32_t n = 0;
  if (fd_ < 0 || offset + sizeof n > end_) return false;
  if (!ReadAll(fd_, reinterpret_cast<char*>(&n), sizeof n, offset)) return false;
  if (offset + sizeof n + n > end_) return false;
  std::string bytes(n, '\0');
  return ReadAll(fd_, bytes.data(), n, offset + sizeof n) && Parse(bytes, f);
}

void FingerprintLog::ForEach(const std::function<bool(const Fingerprint&)>& fn) const {
  uint64_t at = 0;
  Fingerprint f;
  while (at < end_ && ReadAt(at, f)) {
    uint32_t n = 0;
    ReadAll(fd_, reinterpret_cast<char*>(&n), sizeof n, at);
    at += sizeof n + n;
    if (!fn(f)) return;
  }
}

}  // namespace velmora::verify
