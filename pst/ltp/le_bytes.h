// Little-endian reads and writes on byte spans: every LTP structure is little-endian ([MS-PST] 2.1). The
// bytes are assembled by the node database's Load/Store (pst/ndb/format.h); these take a span and an offset.
// Callers check ranges before they read; these helpers only assemble bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "pst/ndb/format.h"

namespace velmora::pst::le {

inline uint16_t Get16(std::span<const uint8_t> b, size_t at) {
  return Load16(b.data() + at);
}
inline uint32_t Get32(std::span<const uint8_t> b, size_t at) {
  return Load32(b.data() + at);
}
inline uint64_t Get64(std::span<const uint8_t> b, size_t at) {
  return Load64(b.data() + at);
}
// An unsigned value of 1, 2, 4 or 8 bytes.
inline uint64_t GetN(std::span<const uint8_t> b, size_t at, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) v |= static_cast<uint64_t>(b[at + i]) << (8 * i);
  return v;
}

inline void Put16(std::span<uint8_t> b, size_t at, uint16_t v) {
  Store16(b.data() + at, v);
}
inline void Put32(std::span<uint8_t> b, size_t at, uint32_t v) {
  Store32(b.data() + at, v);
}
inline void Put64(std::span<uint8_t> b, size_t at, uint64_t v) {
  Store64(b.data() + at, v);
}

inline void Append16(std::vector<uint8_t>& out, uint16_t v) {
  out.resize(out.size() + 2);
  Store16(out.data() + out.size() - 2, v);
}
inline void Append32(std::vector<uint8_t>& out, uint32_t v) {
  out.resize(out.size() + 4);
  Store32(out.data() + out.size() - 4, v);
}
inline void Append64(std::vector<uint8_t>& out, uint64_t v) {
  out.resize(out.size() + 8);
  Store64(out.data() + out.size() - 8, v);
}

}  // namespace velmora::pst::le
