// Which 64-byte slots of the file are in use: the in-memory image of every AMap ([MS-PST] 2.2.2.7.2), one
// bit per slot, MSB first, section after section. It allocates blocks (64-byte aligned) and pages
// (512-byte aligned), grows the file by whole sections, and holds freed space back until the next commit.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "pst/ndb/format.h"
#include "pst/ndb/status.h"

namespace velmora::pst {

class SpaceMap {
 public:
  // `sections` whole AMap sections with only their map pages in use. `max_file_size` bounds growth.
  explicit SpaceMap(uint64_t sections, uint64_t max_file_size = kDefaultMaxFileSize);

  // Outlook's own ceiling for a Unicode PST is 50 GB by default; we stop at the same place.
  static constexpr uint64_t kDefaultMaxFileSize = 50ull << 30;

  uint64_t sections() const { return bits_.size() / kPageDataSize; }
  uint64_t file_size() const { return FileSizeForSections(sections()); }

  // Marks [ib, ib + size) used. False when it leaves the file, touches the header area, or any slot of it
  // is already in use (two things claiming the same bytes).
  bool MarkUsed(uint64_t ib, uint64_t size);
  bool IsUsed(uint64_t ib) const;

  // Finds room for `size` bytes at a multiple of `align` (64 or 512) relative to the section grid, growing
  // the file when nothing fits; the space is marked used.
  Result<uint64_t> Allocate(uint64_t size, uint64_t align);

  // Removes the empty sections (only their map pages in use) at the end beyond the last `keep` of them, never
  // the first section, and only while nothing waits for ReleasePending; returns how many went. The last
  // section left is marked dirty (its FMap counts the sections that went).
  uint64_t DropTrailingEmpty(uint64_t keep);
  // Appends up to n empty sections, fewer when the size limit comes first; returns how many were added.
  uint64_t AddSections(uint64_t n);
  // The bitmap of section k with only its own map pages in use, and the free bytes that leaves.
  static std::vector<uint8_t> EmptySectionBits(uint64_t k);
  static uint64_t EmptySectionFreeBytes(uint64_t k);

  // Space that stops being used by the state being built: reusable only after ReleasePending, which the
  // commit calls once nothing the durable header reaches can still be there.
  void FreeLater(uint64_t ib, uint64_t size);
  bool HasPending() const { return !pending_.empty(); }
  // Space that no durable state reaches (written since the last commit): reusable at once.
  void FreeNow(uint64_t ib, uint64_t size);
  void ReleasePending();

  // cbAMapFree: 64 bytes per free slot.
  uint64_t FreeBytes() const { return free_slots_ * kBlockAlign; }
  // The 496 bitmap bytes of section k, as its AMap page stores them.
  std::span<const uint8_t> SectionBits(uint64_t k) const {
    return {bits_.data() + k * kPageDataSize, kPageDataSize};
  }
  // The longest run of free slots in section k, capped at 255: the FMap byte of that AMap.
  uint8_t LongestFreeRun(uint64_t k) const;

  // Sections whose bits changed (or that are new) since the last call.
  std::vector<uint64_t> TakeDirtySections();
  void MarkSectionDirty(uint64_t k) { dirty_[k] = true; }
  bool HasDirtySections() const;

 private:
  bool Test(uint64_t slot) const { return bits_[slot / 8] & (0x80u >> (slot % 8)); }
  void Set(uint64_t slot, bool used);
  Status Grow();
  // First run of n free slots at a multiple of `step`, searching [from, to).
  bool FindRun(uint64_t from, uint64_t to, uint64_t n, uint64_t step, uint64_t* found) const;

  std::vector<uint8_t> bits_;
  std::vector<bool> dirty_;
  std::vector<std::pair<uint64_t, uint64_t>> pending_;  // (ib, size)
  uint64_t free_slots_ = 0;
  uint64_t rover_ = 0;  // next-fit cursor, a slot number
  uint64_t max_file_size_;
};

}  // namespace velmora::pst
