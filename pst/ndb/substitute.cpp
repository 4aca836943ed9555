#include "pst/ndb/substitute.h"

#include "fsutil/cpu_features.h"

// The vector path is compiled for AVX2 whatever the build's target (GCC's target pragma) and used only where
// the CPU has it.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define VELMORA_SUBSTITUTE_AVX2 1
#include <immintrin.h>
#endif

namespace velmora::pst {
namespace {

void SubstituteBytewise(const uint8_t* table, const uint8_t* in, uint8_t* out, size_t n) {
  // Eight look-ups a step: the loop's own counting and branching cost an eighth of a byte-wise loop's.
  size_t i = 0;
  for (const size_t whole = n & ~size_t{7}; i < whole; i += 8) {
    const uint8_t b0 = in[i], b1 = in[i + 1], b2 = in[i + 2], b3 = in[i + 3];
    const uint8_t b4 = in[i + 4], b5 = in[i + 5], b6 = in[i + 6], b7 = in[i + 7];
    out[i] = table[b0];
    out[i + 1] = table[b1];
    out[i + 2] = table[b2];
    out[i + 3] = table[b3];
    out[i + 4] = table[b4];
    out[i + 5] = table[b5];
    out[i + 6] = table[b6];
    out[i + 7] = table[b7];
  }
  for (; i < n; ++i) out[i] = table[in[i]];
}

#ifdef VELMORA_SUBSTITUTE_AVX2
#pragma GCC push_options
#pragma GCC target("avx2")
// 64 bytes a step, as two vectors of 32. The table is sixteen rows of sixteen; a shuffle looks the low nibble
// up in one row, and blends keep, by bits 4, 5, 6 and 7 of each byte in turn, the row its high nibble names
// (a blend takes the second value where bit 7 of the mask byte is set; shifting the 16-bit lanes left by 3,
// 2, 1 and 0 brings those bits there). The rows are combined depth first, so that few values are live at a
// time and each row, loaded once, serves both vectors.
struct Nibbles {
  __m256i low, bit4, bit5, bit6, bit7;
  explicit Nibbles(__m256i x)
      : low(_mm256_and_si256(x, _mm256_set1_epi8(0x0F))),
        bit4(_mm256_slli_epi16(x, 3)),
        bit5(_mm256_slli_epi16(x, 2)),
        bit6(_mm256_slli_epi16(x, 1)),
        bit7(x) {}
};

struct Pair {
  __m256i a, b;
};

inline Pair Rows2(const __m256i* rows, int k, const Nibbles& p, const Nibbles& q) {
  const __m256i r0 = _mm256_load_si256(rows + k), r1 = _mm256_load_si256(rows + k + 1);
  return {_mm256_blendv_epi8(_mm256_shuffle_epi8(r0, p.low), _mm256_shuffle_epi8(r1, p.low), p.bit4),
          _mm256_blendv_epi8(_mm256_shuffle_epi8(r0, q.low), _mm256_shuffle_epi8(r1, q.low), q.bit4)};
}

inline Pair Rows4(const __m256i* rows, int k, const Nibbles& p, const Nibbles& q) {
  const Pair lo = Rows2(rows, k, p, q), hi = Rows2(rows, k + 2, p, q);
  return {_mm256_blendv_epi8(lo.a, hi.a, p.bit5), _mm256_blendv_epi8(lo.b, hi.b, q.bit5)};
}

inline Pair Rows8(const __m256i* rows, int k, const Nibbles& p, const Nibbles& q) {
  const Pair lo = Rows4(rows, k, p, q), hi = Rows4(rows, k + 4, p, q);
  return {_mm256_blendv_epi8(lo.a, hi.a, p.bit6), _mm256_blendv_epi8(lo.b, hi.b, q.bit6)};
}

void SubstituteAvx2(const uint8_t* table, const uint8_t* in, uint8_t* out, size_t n) {
  alignas(32) __m256i rows[16];
  for (int k = 0; k < 16; ++k)
    rows[k] = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table + 16 * k)));
  size_t i = 0;
  for (; i + 64 <= n; i += 64) {
    const Nibbles p(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i)));
    const Nibbles q(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i + 32)));
    const Pair lo = Rows8(rows, 0, p, q), hi = Rows8(rows, 8, p, q);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_blendv_epi8(lo.a, hi.a, p.bit7));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i + 32), _mm256_blendv_epi8(lo.b, hi.b, q.bit7));
  }
  SubstituteBytewise(table, in + i, out + i, n - i);
}
#pragma GCC pop_options
#endif

}  // namespace

void Substitute(const uint8_t* table, const uint8_t* in, uint8_t* out, size_t n) {
#ifdef VELMORA_SUBSTITUTE_AVX2
  if (n >= 64 && fsutil::CpuHasAvx2()) return SubstituteAvx2(table, in, out, n);
#endif
  SubstituteBytewise(table, in, out, n);
}

}  // namespace velmora::pst
