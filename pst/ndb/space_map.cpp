#include "pst/ndb/space_map.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "pst/ndb/map_layout.h"

namespace velmora::pst {

SpaceMap::SpaceMap(uint64_t sections, uint64_t max_file_size) : max_file_size_(max_file_size) {
  for (uint64_t k = 0; k < sections; ++k) (void)Grow();
}

void SpaceMap::Set(uint64_t slot, bool used) {
  uint8_t& byte = bits_[slot / 8];
  uint8_t mask = static_cast<uint8_t>(0x80u >> (slot % 8));
  if (((byte & mask) != 0) == used) return;
  if (used) {
    byte |= mask;
    --free_slots_;
  } else {
    byte &= static_cast<uint8_t>(~mask);
    ++free_slots_;
  }
  dirty_[slot / kSlotsPerSection] = true;
}

Status SpaceMap::Grow() {
  if (FileSizeForSections(sections() + 1) > max_file_size_)
    return Status::NoSpace("the file reached its size limit of " + std::to_string(max_file_size_) + " bytes");
  uint64_t k = sections();
  bits_.resize(bits_.size() + kPageDataSize, 0);
  dirty_.push_back(true);
  free_slots_ += kSlotsPerSection;
  for (const MapPage& m : MapPagesOfSection(k)) MarkUsed(m.ib, kPageSize);
  return Status::Ok();
}

uint64_t SpaceMap::DropTrailingEmpty(uint64_t keep) {
  if (!pending_.empty()) return 0;
  uint64_t empty = 0;
  for (uint64_t k = sections(); k > 1; --k) {
    const std::vector<uint8_t> bare = EmptySectionBits(k - 1);
    if (!std::equal(bare.begin(), bare.end(), SectionBits(k - 1).begin())) break;
    ++empty;
  }
  if (empty <= keep) return 0;
  const uint64_t drop = empty - keep;
  for (uint64_t i = 0; i < drop; ++i) free_slots_ -= EmptySectionFreeBytes(sections() - 1 - i) / kBlockAlign;
  bits_.resize(bits_.size() - drop * kPageDataSize);
  dirty_.resize(sections());
  dirty_[sections() - 1] = true;
  rover_ = std::min<uint64_t>(rover_, sections() * kSlotsPerSection);
  return drop;
}

uint64_t SpaceMap::AddSections(uint64_t n) {
  uint64_t added = 0;
  while (added < n && Grow().ok()) ++added;
  return added;
}

std::vector<uint8_t> SpaceMap::EmptySectionBits(uint64_t k) {
  std::vector<uint8_t> bits(kPageDataSize, 0);
  for (const MapPage& m : MapPagesOfSection(k))
    for (uint64_t s = (m.ib - SectionOffset(k)) / kBlockAlign;
         s < (m.ib - SectionOffset(k) + kPageSize) / kBlockAlign; ++s)
      bits[s / 8] |= static_cast<uint8_t>(0x80u >> (s % 8));
  return bits;
}

uint64_t SpaceMap::EmptySectionFreeBytes(uint64_t k) {
  return kAMapSectionSize - MapPagesOfSection(k).size() * kPageSize;
}

bool SpaceMap::HasDirtySections() const {
  for (bool d : dirty_)
    if (d) return true;
  return false;
}

bool SpaceMap::MarkUsed(uint64_t ib, uint64_t size) {
  if (ib < kFirstAMapOffset || size == 0 || ib % kBlockAlign != 0 || ib + size > file_size() ||
      ib + size < ib)
    return false;
  uint64_t first = (ib - kFirstAMapOffset) / kBlockAlign;
  uint64_t n = (size + kBlockAlign - 1) / kBlockAlign;
  for (uint64_t s = first; s < first + n; ++s)
    if (Test(s)) return false;
  for (uint64_t s = first; s < first + n; ++s) Set(s, true);
  return true;
}

bool SpaceMap::IsUsed(uint64_t ib) const {
  if (ib < kFirstAMapOffset || ib >= file_size()) return true;
  return Test((ib - kFirstAMapOffset) / kBlockAlign);
}

bool SpaceMap::FindRun(uint64_t from, uint64_t to, uint64_t n, uint64_t step, uint64_t* found) const {
  uint64_t g = (from + step - 1) / step * step;
  while (g + n <= to) {
    // A grown file is nearly all used: 64 used slots are passed over with one load. (Every step is 1 or
    // 8, so a slot that starts a byte stays on the grid.)
    if (g % 8 == 0 && g / 8 + 8 <= bits_.size()) {
      uint64_t word;
      std::memcpy(&word, bits_.data() + g / 8, 8);
      if (word == UINT64_MAX) {
        g += 64;
        continue;
      }
    }
    if (bits_[g / 8] == 0xFF) {  // eight used slots: skip the byte
      g = (g / 8 + 1) * 8;
      continue;
    }
    uint64_t used = UINT64_MAX;
    for (uint64_t s = g; s < g + n; ++s)
      if (Test(s)) {
        used = s;
        break;
      }
    if (used == UINT64_MAX) {
      *found = g;
      return true;
    }
    g = (used + 1 + step - 1) / step * step;
  }
  return false;
}

Result<uint64_t> SpaceMap::Allocate(uint64_t size, uint64_t align) {
  uint64_t n = (size + kBlockAlign - 1) / kBlockAlign;
  uint64_t step = align / kBlockAlign;
  uint64_t total = sections() * kSlotsPerSection;
  uint64_t slot;
  if (!FindRun(rover_, total, n, step, &slot) && !FindRun(0, std::min(total, rover_ + n), n, step, &slot)) {
    PST_RETURN_IF_ERROR(Grow());
    if (!FindRun(total, sections() * kSlotsPerSection, n, step, &slot))
      return Status::InvalidArgument("allocation of " + std::to_string(size) +
                                     " bytes does not fit a section");
  }
  for (uint64_t s = slot; s < slot + n; ++s) Set(s, true);
  rover_ = slot + n;
  return kFirstAMapOffset + slot * kBlockAlign;
}

void SpaceMap::FreeLater(uint64_t ib, uint64_t size) {
  pending_.push_back({ib, size});
}

void SpaceMap::FreeNow(uint64_t ib, uint64_t size) {
  uint64_t first = (ib - kFirstAMapOffset) / kBlockAlign;
  uint64_t n = (size + kBlockAlign - 1) / kBlockAlign;
  for (uint64_t s = first; s < first + n; ++s) Set(s, false);
  // The next allocations fill the holes just freed before the file grows. Only a hole below the cursor
  // moves it back: a search from 0 after every commit would walk the whole used file again each time, and
  // allocating would cost more the larger the file. Older holes below the cursor are still found by the
  // wrap-around search before the file grows.
  rover_ = std::min(rover_, first);
}

void SpaceMap::ReleasePending() {
  for (const auto& [ib, size] : pending_) FreeNow(ib, size);
  pending_.clear();
}

uint8_t SpaceMap::LongestFreeRun(uint64_t k) const {
  uint64_t best = 0, run = 0;
  for (uint64_t s = k * kSlotsPerSection; s < (k + 1) * kSlotsPerSection; ++s) {
    run = Test(s) ? 0 : run + 1;
    best = std::max(best, run);
  }
  return static_cast<uint8_t>(std::min<uint64_t>(best, 255));
}

std::vector<uint64_t> SpaceMap::TakeDirtySections() {
  std::vector<uint64_t> out;
  for (uint64_t k = 0; k < dirty_.size(); ++k)
    if (dirty_[k]) {
      out.push_back(k);
      dirty_[k] = false;
    }
  return out;
}

}  // namespace velmora::pst
