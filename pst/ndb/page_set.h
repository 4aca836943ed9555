// The pages a whole-tree walk has reached, one bit per 512-byte page slot of the file (256 KiB per GiB),
// so that a page reached twice (a cycle or a child shared by two parents) is caught in bounded memory.
#pragma once

#include <cstdint>
#include <vector>

#include "pst/ndb/format.h"

namespace velmora::pst {

class PageSet {
 public:
  explicit PageSet(uint64_t file_size) : bits_((file_size / kPageSize + 63) / 64, 0) {}

  // False when the page was reached before. The caller has checked that `ib` is an aligned page offset
  // inside the file.
  bool Insert(uint64_t ib) {
    const uint64_t slot = ib / kPageSize;
    if (slot / 64 >= bits_.size()) bits_.resize(slot / 64 + 1, 0);
    const uint64_t bit = uint64_t{1} << (slot % 64);
    if (bits_[slot / 64] & bit) return false;
    bits_[slot / 64] |= bit;
    return true;
  }

 private:
  std::vector<uint64_t> bits_;
};

}  // namespace velmora::pst
