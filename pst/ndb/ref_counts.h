// References found per block while a file is checked, in bounded memory: one byte per BID between the
// smallest and largest BID of the BBT, counted in steps of 2 (bit 0 of a BID is reserved, bit 1 marks
// internal blocks, the rest is an index handed out in turn and never reused: 2 bytes per block ever
// written, 2 MiB per million), with counts from 255 on in a map. A BBT whose BIDs lie far wider apart than
// its size (only a damaged or foreign file) is counted in the map alone.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "pst/ndb/types.h"

namespace velmora::pst {

class RefCounts {
 public:
  // `lo` and `hi`: the smallest and largest BID of the BBT, which holds `blocks` entries.
  void Reset(Bid lo, Bid hi, uint64_t blocks) {
    lo_ = lo >> 1;
    dense_.clear();
    more_.clear();
    const uint64_t span = (hi >> 1) - lo_ + 1;
    if (hi >= lo && span <= kMaxSpread * blocks + kMinSlots) dense_.assign(span, 0);
  }

  void Add(Bid bid) {
    const uint64_t i = (bid >> 1) - lo_;
    if ((bid >> 1) >= lo_ && i < dense_.size() && dense_[i] < 255) {
      ++dense_[i];
      return;
    }
    ++more_[bid >> 1];
  }

  uint64_t Count(Bid bid) const {
    const uint64_t i = (bid >> 1) - lo_;
    uint64_t n = (bid >> 1) >= lo_ && i < dense_.size() ? dense_[i] : 0;
    auto it = more_.find(bid >> 1);
    return n + (it == more_.end() ? 0 : it->second);
  }

 private:
  // Files written by a converter or by Outlook free a fraction of the blocks they write; a spread of 32
  // slots (16 BID indexes) per live block is already far past that, and 4,096 slots cover any small file.
  static constexpr uint64_t kMaxSpread = 32;
  static constexpr uint64_t kMinSlots = 4096;

  uint64_t lo_ = 0;
  std::vector<uint8_t> dense_;
  std::unordered_map<uint64_t, uint64_t> more_;
};

}  // namespace velmora::pst
