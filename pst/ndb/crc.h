// The two checksums of the format: the CRC of [MS-PST] 5.3 and the 16-bit signature of [MS-PST] 5.5 that ties
// a block or page to its BID and file offset.
//
// The CRC is the usual CRC-32 (reflected polynomial 0xEDB88320, zlib's) without its inversions: started at
// the seed as it is and not inverted at the end, so Crc32(bytes, seed) == ~crc32(~seed, bytes) with zlib's
// crc32. A chain of calls gives the CRC of the bytes one after the other.
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
