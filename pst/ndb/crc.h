// The two checksums of the format: the CRC of [MS-PST] 5.3 (the standard reflected CRC-32 of polynomial
// 0xEDB88320, as zlib's crc32, but without its inversions: started at 0 and not inverted at the end) and the
// 16-bit signature of [MS-PST] 5.5 that ties a block or page to its BID and file offset.
#pragma once

#include <cstdint>
#include <span>

namespace velmora::pst {

uint32_t Crc32(std::span<const uint8_t> bytes, uint32_t crc = 0);

// ComputeSig: x = ib ^ bid folded to 16 bits over its low 32 bits.
constexpr uint16_t ComputeSig(uint64_t ib, uint64_t bid) {
  uint32_t x = static_cast<uint32_t>(ib ^ bid);
  return static_cast<uint16_t>((x >> 16) ^ (x & 0xFFFFu));
}

}  // namespace velmora::pst
