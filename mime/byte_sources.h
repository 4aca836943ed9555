// The byte sources the importer hands out or reads from: the input message (a file read with pread, or bytes
// in memory) and pieces of it. All of them are immutable once built and safe to share between values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pst/ltp/property.h"

namespace velmora::mime {

// An open file read by offset. The descriptor is closed when the last owner lets go.
class FileSource final : public pst::ByteSource {
 public:
  // Opens `path` for reading; kIoError with the system's reason when it cannot be read.
  static pst::Result<std::shared_ptr<FileSource>> Open(const std::string& path);
  // Takes over an open descriptor (for example an unlinked temporary file).
  FileSource(int fd, uint64_t size);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  uint64_t Size() const override { return size_; }
  pst::Status Read(uint64_t offset, std::span<uint8_t> out) const override;
  int fd() const { return fd_; }
  // For a file that only grows (the spill file): bytes below the new size become readable.
  void Grow(uint64_t new_size) { size_ = new_size; }
  uint64_t modification_time() const { return mtime_filetime_; }  // FILETIME, 0 when unknown

 private:
  int fd_;
  uint64_t size_;
  uint64_t mtime_filetime_ = 0;
};

class MemorySource final : public pst::ByteSource {
 public:
  explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  uint64_t Size() const override { return bytes_.size(); }
  pst::Status Read(uint64_t offset, std::span<uint8_t> out) const override;
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

// [offset, offset + size) of another source.
class SliceSource final : public pst::ByteSource {
 public:
  SliceSource(std::shared_ptr<const pst::ByteSource> base, uint64_t offset, uint64_t size)
      : base_(std::move(base)), offset_(offset), size_(size) {}
  uint64_t Size() const override { return size_; }
  pst::Status Read(uint64_t offset, std::span<uint8_t> out) const override;

 private:
  std::shared_ptr<const pst::ByteSource> base_;
  uint64_t offset_, size_;
};

// Several sources one after the other (a rebuilt header line followed by a slice of the input file).
class ConcatSource final : public pst::ByteSource {
 public:
  explicit ConcatSource(std::vector<std::shared_ptr<const pst::ByteSource>> parts);
  uint64_t Size() const override { return size_; }
  pst::Status Read(uint64_t offset, std::span<uint8_t> out) const override;

 private:
  std::vector<std::shared_ptr<const pst::ByteSource>> parts_;
  uint64_t size_ = 0;
};

}  // namespace velmora::mime
