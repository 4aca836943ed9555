// The names of one folder in the order NTFS delivers them (name_order.h), sorted in bounded memory.
//
// A folder of a mail export can hold a million files; its listing, held whole as strings and sorted with
// their keys, took about 130 bytes a name. Here names are packed one after another into a run buffer with
// their sort keys and sorted through a 4-byte offset per name. When a run's buffer is full it is sorted and
// written to an unlinked temporary file, and the names come back by merging the sorted runs while the caller
// reads them: memory stays near the run size plus one read buffer per spilled run, whatever the folder's
// size. A folder of ordinary size never touches the disk.
//
// Record layout, in the run buffer and in the file alike (all ours; the file is never seen by anyone else):
//   offset  size      field
//   0       2         key_size: bytes of the key (little-endian)
//   2       2         name_size: bytes of the name (little-endian)
//   4       key_size  the name's key (NameKey) as big-endian UTF-16 code units, so that comparing the bytes
//                     compares the code units
//   4+key   name_size the name's bytes
// Records compare by key, then by name bytes: the total order NameLess defines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::fsutil {

class SortedListing {
 public:
  // 8 MiB of records: a record takes 4 bytes and three times an ASCII name's bytes, so about 190,000 names
  // like "m00000123.eml" are sorted at a time and a folder of a million of them spills five runs, while
  // folders of ordinary size stay in memory.
  static constexpr size_t kDefaultRunBytes = size_t{8} << 20;

  // Runs past `run_bytes` spill into an unlinked file made in `temp_folder` (empty: $TMPDIR, else /tmp).
  explicit SortedListing(size_t run_bytes = kDefaultRunBytes, std::string temp_folder = {});
  ~SortedListing();
  SortedListing(const SortedListing&) = delete;
  SortedListing& operator=(const SortedListing&) = delete;

  // Adds a name; 0, or the Win32 code (win32_errors.h) of a failed spill (the listing is then unusable).
  uint32_t Add(std::string_view name);
  // Ends the adding: sorts the last run and opens the merge. 0 or a Win32 code.
  uint32_t Finish();
  // The next name in order into *name; false at the end (*error 0) or on a failed read (*error its code).
  bool Next(std::string* name, uint32_t* error);

  size_t size() const { return count_; }
  size_t spilled_runs() const { return runs_.size(); }

 private:
  class Source;  // one sorted run being read
  struct Extent {
    uint64_t begin, end;  // byte range of a run in the spill file
  };

  void SortRun();
  int Spill();
  // Orders two merge sources by their current records, for a min-heap.
  bool HeapAfter(size_t a, size_t b) const;

  size_t run_bytes_;
  std::string temp_folder_;
  std::string records_;          // the current run's records
  std::vector<uint32_t> order_;  // offsets of records_, sorted by SortRun
  std::vector<Extent> runs_;     // spilled runs
  int fd_ = -1;                  // the spill file, opened at the first spill
  uint64_t file_size_ = 0;
  size_t count_ = 0;
  int read_error_ = 0;  // a failed read of a spilled run, reported by the next call of Next
  std::vector<std::unique_ptr<Source>> sources_;
  std::vector<size_t> heap_;  // sources with a current record, least first
};

}  // namespace velmora::fsutil
