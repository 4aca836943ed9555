#include "pst/ndb/substitute.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
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
// 32 bytes a step. The table is sixteen rows of sixteen; a shuffle looks the low nibble up in every row at
// once, and four rounds of blends keep, by bits 4, 5, 6 and 7 of each byte in turn, the row its high nibble
// names (a blend takes the second value where bit 7 of the mask byte is set; shifting the 16-bit lanes left
// by 3, 2, 1 and 0 brings those bits there).
__attribute__((target("avx2"))) void SubstituteAvx2(const uint8_t* table, const uint8_t* in, uint8_t* out,
                                                    size_t n) {
  __m256i rows[16];
  for (int k = 0; k < 16; ++k)
    rows[k] = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table + 16 * k)));
  const __m256i low_nibble = _mm256_set1_epi8(0x0F);
  size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
    const __m256i low = _mm256_and_si256(x, low_nibble);
    __m256i r[16];
    for (int k = 0; k < 16; ++k) r[k] = _mm256_shuffle_epi8(rows[k], low);
    const __m256i bit4 = _mm256_slli_epi16(x, 3);
    for (int k = 0; k < 8; ++k) r[k] = _mm256_blendv_epi8(r[2 * k], r[2 * k + 1], bit4);
    const __m256i bit5 = _mm256_slli_epi16(x, 2);
    for (int k = 0; k < 4; ++k) r[k] = _mm256_blendv_epi8(r[2 * k], r[2 * k + 1], bit5);
    const __m256i bit6 = _mm256_slli_epi16(x, 1);
    for (int k = 0; k < 2; ++k) r[k] = _mm256_blendv_epi8(r[2 * k], r[2 * k + 1], bit6);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_blendv_epi8(r[0], r[1], x));
  }
  SubstituteBytewise(table, in + i, out + i, n - i);
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

}  // namespace

void Substitute(const uint8_t* table, const uint8_t* in, uint8_t* out, size_t n) {
#ifdef VELMORA_SUBSTITUTE_AVX2
  if (n >= 64 && HasAvx2()) return SubstituteAvx2(table, in, out, n);
#endif
  SubstituteBytewise(table, in, out, n);
}

}  // namespace velmora::pst
