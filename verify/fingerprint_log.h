// Fingerprints on disk, so that memory does not grow with the number of messages: an unlinked temporary file
// that records are appended to and read back from, in order or by the offset Append gave.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "verify/fingerprint.h"

namespace velmora::verify {

class FingerprintLog {
 public:
  // The file goes to `dir` ("" = $TMPDIR or /tmp) and is gone once the log is.
  explicit FingerprintLog(const std::string& dir = "");
  ~FingerprintLog();
  FingerprintLog(const FingerprintLog&) = delete;
  FingerprintLog& operator=(const FingerprintLog&) = delete;

  // Whether the file could be made and every write so far succeeded.
  bool ok() const { return fd_ >= 0 && error_.empty(); }
  const std::string& error() const { return error_; }
  uint64_t count() const { return count_; }

  // Appends `f`; returns its offset.
  uint64_t Append(const Fingerprint& f);
  bool ReadAt(uint64_t offset, Fingerprint& f) const;
  // Every record in order; stops when `fn` returns false.
  void ForEach(const std::function<bool(const Fingerprint&)>& fn) const;

 private:
  int fd_ = -1;
  uint64_t end_ = 0;
  uint64_t count_ = 0;
  std::string error_;
};

}  // namespace velmora::verify
