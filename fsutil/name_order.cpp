#include "fsutil/name_order.h"

#include "fsutil/utf8.h"

namespace velmora::fsutil {
namespace {

bool InRange(char32_t c, char32_t lo, char32_t hi) {
  return c >= lo && c <= hi;
}

// Blocks where upper and lower case alternate, upper case on the even (or odd) code point.
char32_t UpcaseAlternating(char32_t c, bool upper_is_even) {
  const bool odd = (c & 1u) != 0;
  return (odd == upper_is_even) ? c - 1 : c;
}

std::u32string UpcasedCodePoints(std::string_view s) {
  std::u32string cps = DecodeUtf8Lossless(s);
  for (char32_t& c : cps) c = UpcaseCodePoint(c);
  return cps;
}

}  // namespace

char32_t UpcaseCodePoint(char32_t c) {
  if (c < 0x80) return InRange(c, U'a', U'z') ? c - 0x20 : c;
  if (InRange(c, 0xE0, 0xFE) && c != 0xF7) return c - 0x20;  // à..þ, not the division sign
  if (c == 0xFF) return 0x178;                               // ÿ -> Ÿ
  if (InRange(c, 0x100, 0x137) || InRange(c, 0x14A, 0x177)) return UpcaseAlternating(c, true);
  if (InRange(c, 0x139, 0x148) || InRange(c, 0x179, 0x17E)) return UpcaseAlternating(c, false);
  if (c == 0x3AC) return 0x386;                   // ά
  if (InRange(c, 0x3AD, 0x3AF)) return c - 0x25;  // έ ή ί
  if (c == 0x3C2) return 0x3A3;                   // final sigma
  if (InRange(c, 0x3B1, 0x3CB)) return c - 0x20;  // α..ϋ
  if (c == 0x3CC) return 0x38C;                   // ό
  if (InRange(c, 0x3CD, 0x3CE)) return c - 0x3F;  // ύ ώ
  if (InRange(c, 0x430, 0x44F)) return c - 0x20;  // а..я
  if (InRange(c, 0x450, 0x45F)) return c - 0x50;  // ѐ..џ
  if (InRange(c, 0x460, 0x481) || InRange(c, 0x48A, 0x4BF)) return UpcaseAlternating(c, true);
  if (InRange(c, 0x561, 0x586)) return c - 0x30;  // Armenian
  if (InRange(c, 0x1E00, 0x1E95) || InRange(c, 0x1EA0, 0x1EFF)) return UpcaseAlternating(c, true);
  if (InRange(c, 0xFF41, 0xFF5A)) return c - 0x20;  // full-width a..z
  return c;
}

std::u16string NameKey(std::string_view name) {
  return ToUtf16(UpcasedCodePoints(name));
}

bool NameLess(std::string_view a, std::string_view b) {
  const std::u16string ka = NameKey(a);
  const std::u16string kb = NameKey(b);
  if (ka != kb) return ka < kb;
  return a < b;
}

bool HasWildcard(std::string_view pattern) {
  return pattern.find_first_of("*?") != std::string_view::npos;
}

bool MatchesPattern(std::string_view name, std::string_view pattern) {
  if (pattern == "*" || pattern == "*.*") return true;
  const std::u32string n = UpcasedCodePoints(name);
  const std::u32string p = UpcasedCodePoints(pattern);
  // Greedy matching with one back-track point: the last "*" seen and the name position it stood for.
  size_t ni = 0, pi = 0;
  size_t star = std::u32string::npos, star_ni = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == U'?' || p[pi] == n[ni])) {
      ++ni, ++pi;
    } else if (pi < p.size() && p[pi] == U'*') {
      star = pi++;
      star_ni = ni;
    } else if (star != std::u32string::npos) {
      pi = star + 1;
      ni = ++star_ni;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == U'*') ++pi;
  return pi == p.size();
}

}  // namespace velmora::fsutil
