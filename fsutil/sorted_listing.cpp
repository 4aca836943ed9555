#include "fsutil/sorted_listing.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "fsutil/file_io.h"
#include "fsutil/name_order.h"
#include "fsutil/win32_errors.h"

namespace velmora::fsutil {
namespace {

constexpr size_t kHeaderBytes = 2 + 2;            // key_size + name_size
constexpr size_t kFieldLimit = 0xFFFF;            // what a 2-byte size holds; NAME_MAX is far below it
constexpr size_t kReadBytes = size_t{32} << 10;   // read buffer of one spilled run during the merge
constexpr size_t kWriteBytes = size_t{64} << 10;  // write buffer of a spill

size_t GetU16(const char* p) {
  return static_cast<unsigned char>(p[0]) | static_cast<size_t>(static_cast<unsigned char>(p[1])) << 8;
}

void PutU16(std::string& out, size_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

size_t RecordSize(const char* p) {
  return kHeaderBytes + GetU16(p) + GetU16(p + 2);
}

std::string_view KeyOf(std::string_view record) {
  return record.substr(kHeaderBytes, GetU16(record.data()));
}

std::string_view NameOf(std::string_view record) {
  return record.substr(kHeaderBytes + GetU16(record.data()));
}

// Byte comparison is unsigned (char_traits<char>), so the big-endian key bytes compare as code units.
bool RecordLess(std::string_view a, std::string_view b) {
  if (const int c = KeyOf(a).compare(KeyOf(b)); c != 0) return c < 0;
  return NameOf(a) < NameOf(b);
}

}  // namespace

// One sorted run: the run still in memory, or a spilled run read back through a small buffer.
class SortedListing::Source {
 public:
  Source(const std::string* records, const std::vector<uint32_t>* order) : records_(records), order_(order) {}
  Source(int fd, Extent extent) : fd_(fd), pos_(extent.begin), end_(extent.end) {}

  // Moves to the run's next record; false at its end (*error 0) or on a failed read.
  bool Advance(int* error) {
    *error = 0;
    if (records_) {
      if (next_ >= order_->size()) return false;
      const char* p = records_->data() + (*order_)[next_++];
      record_ = std::string_view(p, RecordSize(p));
      return true;
    }
    if (buf_pos_ == buf_.size() && pos_ == end_) return false;
    if (!Fill(kHeaderBytes, error)) return false;
    const size_t size = RecordSize(buf_.data() + buf_pos_);
    if (!Fill(size, error)) return false;
    record_ = std::string_view(buf_).substr(buf_pos_, size);
    buf_pos_ += size;
    return true;
  }

  std::string_view record() const { return record_; }

 private:
  // Makes `need` bytes available at buf_pos_.
  bool Fill(size_t need, int* error) {
    const size_t have = buf_.size() - buf_pos_;
    if (have >= need) return true;
    buf_.erase(0, buf_pos_);
    buf_pos_ = 0;
    const uint64_t want = std::min<uint64_t>(std::max(need, kReadBytes) - have, end_ - pos_);
    if (have + want < need) {
      *error = EIO;  // a record runs past its run: the file changed under us
      return false;
    }
    buf_.resize(have + want);
    if (const int err = ReadAt(fd_, buf_.data() + have, want, pos_); err != 0) {
      *error = err == kEndOfFile ? EIO : err;
      return false;
    }
    pos_ += want;
    return true;
  }

  const std::string* records_ = nullptr;
  const std::vector<uint32_t>* order_ = nullptr;
  size_t next_ = 0;
  int fd_ = -1;
  uint64_t pos_ = 0, end_ = 0;
  std::string buf_;
  size_t buf_pos_ = 0;
  std::string_view record_;
};

SortedListing::SortedListing(size_t run_bytes, std::string temp_folder)
    // Offsets into a run are 4 bytes: a run stays well below 4 GiB.
    : run_bytes_(std::min<size_t>(run_bytes, size_t{1} << 30)), temp_folder_(std::move(temp_folder)) {}

SortedListing::~SortedListing() {
  if (fd_ >= 0) CloseFile(fd_);
}

uint32_t SortedListing::Add(std::string_view name) {
  const std::u16string key = NameKey(name);
  if (name.size() > kFieldLimit || key.size() * 2 > kFieldLimit) return kErrorFilenameExceedsRange;
  const size_t size = kHeaderBytes + key.size() * 2 + name.size();
  if (!records_.empty() && records_.size() + size > run_bytes_) {
    if (const int err = Spill(); err != 0) return Win32ErrorFromErrno(err);
  }
  order_.push_back(static_cast<uint32_t>(records_.size()));
  PutU16(records_, key.size() * 2);
  PutU16(records_, name.size());
  for (const char16_t unit : key) {
    records_.push_back(static_cast<char>(unit >> 8));
    records_.push_back(static_cast<char>(unit & 0xFF));
  }
  records_.append(name);
  ++count_;
  return 0;
}

void SortedListing::SortRun() {
  const std::string& r = records_;
  std::sort(order_.begin(), order_.end(), [&r](uint32_t a, uint32_t b) {
    return RecordLess(std::string_view(r.data() + a, RecordSize(r.data() + a)),
                      std::string_view(r.data() + b, RecordSize(r.data() + b)));
  });
}

int SortedListing::Spill() {
  if (fd_ < 0) {
    if (const int err = OpenUnlinkedTempFile(temp_folder_, &fd_); err != 0) return err;
  }
  SortRun();
  const uint64_t begin = file_size_;
  std::string out;
  out.reserve(kWriteBytes + kHeaderBytes + 3 * kFieldLimit);
  const auto flush = [&] {
    const int err = WriteAt(fd_, out.data(), out.size(), file_size_);
    file_size_ += out.size();
    out.clear();
    return err;
  };
  for (const uint32_t offset : order_) {
    const char* p = records_.data() + offset;
    out.append(p, RecordSize(p));
    if (out.size() >= kWriteBytes) {
      if (const int err = flush(); err != 0) return err;
    }
  }
  if (const int err = flush(); err != 0) return err;
  runs_.push_back({begin, file_size_});
  records_.clear();
  order_.clear();
  return 0;
}

bool SortedListing::HeapAfter(size_t a, size_t b) const {
  return RecordLess(sources_[b]->record(), sources_[a]->record());
}

uint32_t SortedListing::Finish() {
  SortRun();
  for (const Extent& run : runs_) sources_.push_back(std::make_unique<Source>(fd_, run));
  sources_.push_back(std::make_unique<Source>(&records_, &order_));
  const auto after = [this](size_t a, size_t b) { return HeapAfter(a, b); };
  for (size_t i = 0; i < sources_.size(); ++i) {
    int err = 0;
    if (sources_[i]->Advance(&err)) {
      heap_.push_back(i);
      std::push_heap(heap_.begin(), heap_.end(), after);
    } else if (err != 0) {
      return Win32ErrorFromErrno(err);
    }
  }
  return 0;
}

bool SortedListing::Next(std::string* name, uint32_t* error) {
  *error = Win32ErrorFromErrno(read_error_);
  if (read_error_ != 0 || heap_.empty()) return false;
  const auto after = [this](size_t a, size_t b) { return HeapAfter(a, b); };
  std::pop_heap(heap_.begin(), heap_.end(), after);
  Source& s = *sources_[heap_.back()];
  name->assign(NameOf(s.record()));
  if (s.Advance(&read_error_)) {
    std::push_heap(heap_.begin(), heap_.end(), after);
  } else {
    heap_.pop_back();  // the run is over; a failed read ends the listing at the next call
  }
  return true;
}

}  // namespace velmora::fsutil
