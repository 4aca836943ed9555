#include "pst/ndb/write_back_file.h"

#include <cstring>

namespace velmora::pst {

Status WriteBackFile::Flush() {
  if (!failed_.ok()) return failed_;
  if (run_.empty()) return Status::Ok();
  Status s = below_->WriteAt(run_start_, run_);
  run_.clear();
  if (!s.ok()) failed_ = s;
  return s;
}

Status WriteBackFile::ReadAt(uint64_t offset, std::span<uint8_t> out) {
  if (!run_.empty() && offset < run_start_ + run_.size() && run_start_ < offset + out.size())
    PST_RETURN_IF_ERROR(Flush());
  if (!failed_.ok()) return failed_;
  return below_->ReadAt(offset, out);
}

Status WriteBackFile::WriteAt(uint64_t offset, std::span<const uint8_t> data) {
  if (!failed_.ok()) return failed_;
  const bool continues = !run_.empty() && offset == run_start_ + run_.size();
  if (continues && run_.size() + data.size() <= capacity_) {
    run_.insert(run_.end(), data.begin(), data.end());
    return Status::Ok();
  }
  PST_RETURN_IF_ERROR(Flush());
  if (data.size() >= capacity_) {
    Status s = below_->WriteAt(offset, data);
    if (!s.ok()) failed_ = s;
    return s;
  }
  if (run_.capacity() < capacity_) run_.reserve(capacity_);
  run_start_ = offset;
  run_.assign(data.begin(), data.end());
  return Status::Ok();
}

Status WriteBackFile::Sync() {
  PST_RETURN_IF_ERROR(Flush());
  return below_->Sync();
}

Result<uint64_t> WriteBackFile::Size() {
  PST_RETURN_IF_ERROR(Flush());
  return below_->Size();
}

Status WriteBackFile::SetSize(uint64_t size) {
  PST_RETURN_IF_ERROR(Flush());
  return below_->SetSize(size);
}

}  // namespace velmora::pst
