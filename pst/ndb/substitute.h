// Byte substitution through a 256-byte table: out[i] = table[in[i]]. The permutation encoding spends most of
// its time here. `in` and `out` may be the same buffer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora::pst {

void Substitute(const uint8_t* table, const uint8_t* in, uint8_t* out, size_t n);

}  // namespace velmora::pst
