#include "pst/ndb/testing/fault_file.h"

#include <cstring>
#include <string>

namespace velmora::pst {

// The durable image is a plain copy taken at each successful Sync: simple and exact, and these files are
// small test files.

Status FaultInjectingFile::ReadAt(uint64_t offset, std::span<uint8_t> out) {
  if (offset > current_.size() || out.size() > current_.size() - offset)
    return Status::IoError("read past end of file at offset " + std::to_string(offset));
  std::memcpy(out.data(), current_.data() + offset, out.size());
  return Status::Ok();
}

Status FaultInjectingFile::WriteAt(uint64_t offset, std::span<const uint8_t> data) {
  ++writes_;
  if (capacity_ && offset + data.size() > *capacity_)
    return Status::NoSpace("disk full writing at offset " + std::to_string(offset));
  std::span<const uint8_t> landed = data;
  bool fail = write_fault_.Hits(writes_);
  if (fail) landed = data.first(data.size() / 2);
  if (offset + landed.size() > current_.size()) current_.resize(offset + landed.size());
  if (!landed.empty()) std::memcpy(current_.data() + offset, landed.data(), landed.size());
  if (fail) return Status::IoError("injected write failure at offset " + std::to_string(offset));
  return Status::Ok();
}

Status FaultInjectingFile::Sync() {
  ++syncs_;
  if (sync_fault_.Hits(syncs_)) return Status::IoError("injected sync failure");
  durable_ = current_;
  return Status::Ok();
}

Status FaultInjectingFile::SetSize(uint64_t size) {
  ++writes_;
  if (capacity_ && size > *capacity_) return Status::NoSpace("disk full growing to " + std::to_string(size));
  if (write_fault_.Hits(writes_)) return Status::IoError("injected failure resizing the file");
  current_.resize(size);
  return Status::Ok();
}

void FaultInjectingFile::FailWrite(uint64_t nth, bool sticky) {
  write_fault_ = {writes_ + nth, sticky};
}
void FaultInjectingFile::FailSync(uint64_t nth, bool sticky) {
  sync_fault_ = {syncs_ + nth, sticky};
}

void FaultInjectingFile::ClearFaults() {
  write_fault_ = {};
  sync_fault_ = {};
  capacity_.reset();
}

void FaultInjectingFile::Crash() {
  current_ = durable_;
}

}  // namespace velmora::pst
