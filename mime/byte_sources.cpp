#include "mime/byte_sources.h"

#include <cstring>

#include "fsutil/file_io.h"

namespace velmora::mime {
namespace {
pst::Status RangeError(uint64_t offset, size_t n, uint64_t size) {
  return pst::Status::InvalidArgument("read of " + std::to_string(n) + " bytes at " + std::to_string(offset) +
                                      " passes the end (" + std::to_string(size) + " bytes)");
}
bool InRange(uint64_t offset, size_t n, uint64_t size) {
  return offset <= size && n <= size - offset;
}
}  // namespace

pst::Result<std::shared_ptr<FileSource>> FileSource::Open(const std::string& path) {
  int fd = -1;
  if (const int err = fsutil::OpenFile(path, fsutil::OpenFor::kReading, &fd); err != 0) {
    // Windows opens no folder as a file; POSIX does, and the facts below say what it is.
    fsutil::FileFacts facts;
    const bool folder = fsutil::FactsOfPath(path, &facts) == 0 && facts.folder;
    return pst::Status::IoError("the file cannot be read: " + path + ": " +
                                (folder ? "is a folder" : fsutil::ErrorText(err)));
  }
  fsutil::FileFacts facts;
  const int err = fsutil::FactsOfFile(fd, &facts);
  if (err != 0 || !facts.regular) {
    fsutil::CloseFile(fd);
    return pst::Status::IoError("the file cannot be read: " + path + ": " +
                                (facts.folder ? "is a folder" : fsutil::ErrorText(err)));
  }
  auto src = std::make_shared<FileSource>(fd, facts.size);
  src->mtime_filetime_ = facts.modified;
  return src;
}

FileSource::FileSource(int fd, uint64_t size) : fd_(fd), size_(size) {}
FileSource::~FileSource() {
  fsutil::CloseFile(fd_);
}

pst::Status FileSource::Read(uint64_t offset, std::span<uint8_t> out) const {
  if (!InRange(offset, out.size(), size_)) return RangeError(offset, out.size(), size_);
  const int err = fsutil::ReadAt(fd_, out.data(), out.size(), offset);
  if (err != 0)
    return pst::Status::IoError(std::string("read failed: ") + (err > 0 ? fsutil::ErrorText(err) : "end"));
  return pst::Status::Ok();
}

pst::Status MemorySource::Read(uint64_t offset, std::span<uint8_t> out) const {
  if (!InRange(offset, out.size(), bytes_.size())) return RangeError(offset, out.size(), bytes_.size());
  if (!out.empty()) std::memcpy(out.data(), bytes_.data() + offset, out.size());
  return pst::Status::Ok();
}

pst::Status SliceSource::Read(uint64_t offset, std::span<uint8_t> out) const {
  if (!InRange(offset, out.size(), size_)) return RangeError(offset, out.size(), size_);
  return base_->Read(offset_ + offset, out);
}

ConcatSource::ConcatSource(std::vector<std::shared_ptr<const pst::ByteSource>> parts)
    : parts_(std::move(parts)) {
  for (const auto& p : parts_) size_ += p->Size();
}

pst::Status ConcatSource::Read(uint64_t offset, std::span<uint8_t> out) const {
  if (!InRange(offset, out.size(), size_)) return RangeError(offset, out.size(), size_);
  uint64_t start = 0;
  size_t done = 0;
  for (const auto& p : parts_) {
    if (done == out.size()) break;
    uint64_t end = start + p->Size();
    if (offset + done < end) {
      uint64_t local = offset + done - start;
      size_t n = static_cast<size_t>(std::min<uint64_t>(out.size() - done, p->Size() - local));
      PST_RETURN_IF_ERROR(p->Read(local, out.subspan(done, n)));
      done += n;
    }
    start = end;
  }
  return pst::Status::Ok();
}

}  // namespace velmora::mime
