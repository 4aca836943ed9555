#include "mime/base64_filter.h"

#include <array>

#include "fsutil/cpu_features.h"

// The vector path is compiled for AVX2 whatever the build's target (GCC's target pragma) and used only where
// the CPU has it.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define VELMORA_BASE64_AVX2 1
#include <immintrin.h>
#endif

namespace velmora::mime {
namespace {

constexpr uint8_t kSkip = 0xFF;  // outside the alphabet: passed over (RFC 2045 6.8)
constexpr uint8_t kPad = 0xFE;   // '=': the end of the encoded data

constexpr std::array<uint8_t, 256> MakeDigits() {
  std::array<uint8_t, 256> r{};
  for (auto& v : r) v = kSkip;
  for (int i = 0; i < 26; ++i) {
    r[static_cast<size_t>('A' + i)] = static_cast<uint8_t>(i);
    r[static_cast<size_t>('a' + i)] = static_cast<uint8_t>(26 + i);
  }
  for (int i = 0; i < 10; ++i) r[static_cast<size_t>('0' + i)] = static_cast<uint8_t>(52 + i);
  r['+'] = 62;
  r['/'] = 63;
  r['='] = kPad;
  return r;
}
constexpr std::array<uint8_t, 256> kDigit = MakeDigits();

// The digit of each character already in its place in a quartet's 24 bits (`shift` 18, 12, 6 or 0); any
// character that is not a digit sets bit 24, so that one test over the four finds it.
constexpr std::array<uint32_t, 256> MakePlaced(int shift) {
  std::array<uint32_t, 256> r{};
  for (size_t c = 0; c < 256; ++c) r[c] = kDigit[c] & 0x80 ? uint32_t{1} << 24 : uint32_t{kDigit[c]} << shift;
  return r;
}
constexpr std::array<uint32_t, 256> kPlaced0 = MakePlaced(18), kPlaced1 = MakePlaced(12),
                                    kPlaced2 = MakePlaced(6), kPlaced3 = MakePlaced(0);

#ifdef VELMORA_BASE64_AVX2
#pragma GCC push_options
#pragma GCC target("avx2")
// Whole quartets from `p`, thirty-two characters a step; a block that holds another character (a line end,
// '=') gives its whole quartets before that character, and line ends are passed over. Returns where it
// stopped (before an '=', before a quartet cut short, or fewer than 32 characters from the end); `o` is
// advanced past what it wrote. Each block writes 8 bytes of no meaning after its 24 (the caller's buffer has
// the room: see DecodeBase64Step).
//
// Each character's range gives the amount that turns it into its digit; pairs of digits are then joined by
// multiply-adds (64a + b, then 4096x + y: three bytes in each 32-bit lane), and a shuffle and a permutation
// pack the lanes' three bytes, most significant first.
const unsigned char* DecodeRunAvx2(const unsigned char* p, const unsigned char* end, unsigned char*& o) {
  const __m256i before_upper = _mm256_set1_epi8('A' - 1), after_upper = _mm256_set1_epi8('Z' + 1);
  const __m256i before_lower = _mm256_set1_epi8('a' - 1), after_lower = _mm256_set1_epi8('z' + 1);
  const __m256i before_digit = _mm256_set1_epi8('0' - 1), after_digit = _mm256_set1_epi8('9' + 1);
  const __m256i plus_char = _mm256_set1_epi8('+'), slash_char = _mm256_set1_epi8('/');
  const __m256i upper_add = _mm256_set1_epi8(-'A'), lower_add = _mm256_set1_epi8(26 - 'a');
  const __m256i digit_add = _mm256_set1_epi8(52 - '0'), plus_add = _mm256_set1_epi8(62 - '+');
  const __m256i slash_add = _mm256_set1_epi8(63 - '/');
  const __m256i join_pairs = _mm256_set1_epi32(0x01400140), join_quads = _mm256_set1_epi32(0x00011000);
  const __m256i order = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, 2, 1, 0, 6,
                                         5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
  while (end - p >= 32) {
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i upper =
        _mm256_and_si256(_mm256_cmpgt_epi8(c, before_upper), _mm256_cmpgt_epi8(after_upper, c));
    const __m256i lower =
        _mm256_and_si256(_mm256_cmpgt_epi8(c, before_lower), _mm256_cmpgt_epi8(after_lower, c));
    const __m256i digit =
        _mm256_and_si256(_mm256_cmpgt_epi8(c, before_digit), _mm256_cmpgt_epi8(after_digit, c));
    const __m256i plus = _mm256_cmpeq_epi8(c, plus_char), slash = _mm256_cmpeq_epi8(c, slash_char);
    const __m256i valid =
        _mm256_or_si256(_mm256_or_si256(upper, lower), _mm256_or_si256(digit, _mm256_or_si256(plus, slash)));
    const auto mask = static_cast<uint32_t>(_mm256_movemask_epi8(valid));
    // Each 32-bit lane's three bytes come from its own four characters: the lanes before the first other
    // character are right even when a later one is not.
    __m256i add = _mm256_and_si256(upper, upper_add);
    add = _mm256_or_si256(add, _mm256_and_si256(lower, lower_add));
    add = _mm256_or_si256(add, _mm256_and_si256(digit, digit_add));
    add = _mm256_or_si256(add, _mm256_and_si256(plus, plus_add));
    add = _mm256_or_si256(add, _mm256_and_si256(slash, slash_add));
    const __m256i quads =
        _mm256_madd_epi16(_mm256_maddubs_epi16(_mm256_add_epi8(c, add), join_pairs), join_quads);
    const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(quads, order), lanes);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), packed);
    if (mask == 0xFFFFFFFFu) {
      p += 32;
      o += 24;
      continue;
    }
    const int run = __builtin_ctz(~mask);
    p += run / 4 * 4;
    o += run / 4 * 3;
    if (run % 4 != 0 || kDigit[*p] != kSkip) break;  // a quartet cut short, or an '='
    do ++p;
    while (p < end && kDigit[*p] == kSkip);
  }
  return p;
}
#pragma GCC pop_options
#endif

}  // namespace

// `out` has room for in_len + 3 bytes, which also covers the vector path's 8 extra bytes: when a block of 32
// starts, at most 3/4 of the characters before it, plus the 3 bytes of a quartet begun in the last chunk,
// have been written, and 3/4 (in_len - 32) + 3 + 32 <= in_len + 3 for any in_len >= 32.
size_t DecodeBase64Step(const unsigned char* in, size_t in_len, unsigned char* out, Base64State& st) {
  int n = st.state;
  if (n == -1) return 0;  // the data ended at an '=' already
  const unsigned char* p = in;
  const unsigned char* const end = in + in_len;
  unsigned char* o = out;
  uint32_t saved = st.save;
  while (p < end) {
    if (n == 0) {
      // Between quartets: whole quartets of the alphabet four characters a step, and line ends (or other
      // characters outside the alphabet) passed over; an '=' or a quartet cut by a line end goes below.
#ifdef VELMORA_BASE64_AVX2
      if (end - p >= 32 && fsutil::CpuHasAvx2()) p = DecodeRunAvx2(p, end, o);
#endif
      while (end - p >= 4) {
        const uint32_t v = kPlaced0[p[0]] | kPlaced1[p[1]] | kPlaced2[p[2]] | kPlaced3[p[3]];
        if (v >> 24) {
          if (kDigit[*p] != kSkip) break;
          ++p;
          continue;
        }
        o[0] = static_cast<unsigned char>(v >> 16);
        o[1] = static_cast<unsigned char>(v >> 8);
        o[2] = static_cast<unsigned char>(v);
        o += 3;
        p += 4;
      }
      if (p == end) break;
    }
    const uint8_t digit = kDigit[*p++];
    if (digit == kSkip) continue;
    saved = (saved << 6) | (digit == kPad ? 0u : digit);
    ++n;
    if (digit == kPad) {
      // The first '=' ends the data: what follows (more '=', a mailing list's footer) is not decoded. A
      // quartet cut after two or three characters still gives its one or two whole bytes.
      if (n > 2) {
        const int missing = 5 - n;
        if (n < 4) saved <<= 6;
        *o++ = static_cast<unsigned char>(saved >> 16);
        if (missing < 2) *o++ = static_cast<unsigned char>(saved >> 8);
      }
      st.state = -1;
      st.save = saved;
      return static_cast<size_t>(o - out);
    }
    if (n == 4) {
      o[0] = static_cast<unsigned char>(saved >> 16);
      o[1] = static_cast<unsigned char>(saved >> 8);
      o[2] = static_cast<unsigned char>(saved);
      o += 3;
      saved = 0;
      n = 0;
    }
  }
  st.state = n;
  st.save = saved;
  return static_cast<size_t>(o - out);
}

namespace {

struct Base64Filter {
  GMimeFilter parent;
  Base64State state;
};

struct Base64FilterClass {
  GMimeFilterClass parent_class;
};

GType Base64FilterType();

Base64Filter* AsBase64(GMimeFilter* filter) {
  return reinterpret_cast<Base64Filter*>(filter);
}

GMimeFilter* CopyFilter(GMimeFilter*) {
  return NewBase64DecodeFilter();
}

void Decode(GMimeFilter* filter, char* in, size_t len, size_t, char** out, size_t* out_len,
            size_t* out_prespace) {
  g_mime_filter_set_size(filter, len + 3, FALSE);
  *out_len = DecodeBase64Step(reinterpret_cast<const unsigned char*>(in), len,
                              reinterpret_cast<unsigned char*>(filter->outbuf), AsBase64(filter)->state);
  *out = filter->outbuf;
  *out_prespace = filter->outpre;
}

void Reset(GMimeFilter* filter) {
  AsBase64(filter)->state = Base64State{};
}

void ClassInit(gpointer klass, gpointer) {
  auto* filter_class = static_cast<GMimeFilterClass*>(klass);
  filter_class->copy = CopyFilter;
  filter_class->filter = Decode;
  filter_class->complete = Decode;  // the end of the input is one more chunk: a decoder holds nothing back
  filter_class->reset = Reset;
}

void InstanceInit(GTypeInstance* instance, gpointer) {
  reinterpret_cast<Base64Filter*>(instance)->state = Base64State{};
}

GType Base64FilterType() {
  static const GType type = [] {
    GTypeInfo info{};
    info.class_size = sizeof(Base64FilterClass);
    info.class_init = ClassInit;
    info.instance_size = sizeof(Base64Filter);
    info.instance_init = InstanceInit;
    return g_type_register_static(GMIME_TYPE_FILTER, "VelmoraBase64DecodeFilter", &info, GTypeFlags{});
  }();
  return type;
}

}  // namespace

GMimeFilter* NewBase64DecodeFilter() {
  return GMIME_FILTER(g_object_new(Base64FilterType(), nullptr));
}

}  // namespace velmora::mime
