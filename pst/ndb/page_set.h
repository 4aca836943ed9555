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

  // False when the page was reached before. An offset past the size given (damaged bytes; reading the page
  // will refuse it) is not recorded: the set never grows with what a file says.
  bool Insert(uint64_t ib) {
    const uint64_t slot = ib / kPageSize;
    if (slot / 64 >= bits_.size()) return true;
    const uint64_t bit = uint64_t{1} << (slot % 64);
    if (bits_[slot / 64] & bit) return false;
    bits_[slot / 64] |= bit;
    return true;
  }

 private:
  std::vector<uint64_t> bits_;
};

}  // namespace velmora::pst
