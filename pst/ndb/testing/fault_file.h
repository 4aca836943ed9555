// A File for crash and error tests: it keeps what a disk would have made durable (the bytes as of the last
// successful Sync) apart from what readers see, and fails chosen operations.
//
//   FailWrite(n) / FailSync(n): the n-th write or sync from now fails (counting from 1); with `sticky` every
//   later one fails too. A failing write lands only its first half (a torn write).
//   SetCapacity(bytes): writes reaching past it fail with kNoSpace (a full disk).
//   Crash(): drops every byte not yet synced, as power loss would; the file then shows the durable image.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "pst/ndb/file.h"

namespace velmora::pst {

class FaultInjectingFile : public File {
 public:
  FaultInjectingFile() = default;
  explicit FaultInjectingFile(std::vector<uint8_t> durable)
      : current_(durable), durable_(std::move(durable)) {}

  Status ReadAt(uint64_t offset, std::span<uint8_t> out) override;
  Status WriteAt(uint64_t offset, std::span<const uint8_t> data) override;
  Status Sync() override;
  Result<uint64_t> Size() override { return static_cast<uint64_t>(current_.size()); }
  Status SetSize(uint64_t size) override;

  void FailWrite(uint64_t nth, bool sticky = false);
  void FailSync(uint64_t nth, bool sticky = false);
  void SetCapacity(std::optional<uint64_t> bytes) { capacity_ = bytes; }
  void ClearFaults();
  void Crash();

  uint64_t writes() const { return writes_; }
  uint64_t syncs() const { return syncs_; }
  const std::vector<uint8_t>& durable() const { return durable_; }
  const std::vector<uint8_t>& current() const { return current_; }

 private:
  struct Fault {
    uint64_t at = 0;  // operation number that fails; 0 = none
    bool sticky = false;
    bool Hits(uint64_t n) const { return at != 0 && (n == at || (sticky && n > at)); }
  };
  std::vector<uint8_t> current_;
  std::vector<uint8_t> durable_;
  Fault write_fault_, sync_fault_;
  std::optional<uint64_t> capacity_;
  uint64_t writes_ = 0, syncs_ = 0;
};

}  // namespace velmora::pst
