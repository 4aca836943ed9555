// A File that gathers writes which continue one another into one run and hands the run to the file below in
// one write: a message's blocks are allocated one after the other, so most of them become one pwrite.
//
// Order is kept: a write that does not continue the run, a read that meets it, Sync, Size and SetSize all
// write the run first, so the file below sees the same writes in the same order, only joined. Sync makes
// everything durable as before; what a crash loses is what was not synced, as before. A failed write of the
// run fails every later call with its error (the bytes the file holds are then unknown).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "pst/ndb/file.h"

namespace velmora::pst {

class WriteBackFile final : public File {
 public:
  // Runs up to `capacity` bytes; a write of at least that size goes through on its own.
  explicit WriteBackFile(std::shared_ptr<File> below, size_t capacity = kDefaultCapacity)
      : below_(std::move(below)), capacity_(capacity) {}

  Status ReadAt(uint64_t offset, std::span<uint8_t> out) override;
  Status WriteAt(uint64_t offset, std::span<const uint8_t> data) override;
  Status Sync() override;
  Result<uint64_t> Size() override;
  Status SetSize(uint64_t size) override;
  void Renamed(const std::string& path) override { below_->Renamed(path); }

  // Writes the gathered run to the file below.
  Status Flush();

  static constexpr size_t kDefaultCapacity = size_t{1} << 20;

 private:
  std::shared_ptr<File> below_;
  size_t capacity_;
  uint64_t run_start_ = 0;
  std::vector<uint8_t> run_;
  Status failed_;
};

}  // namespace velmora::pst
