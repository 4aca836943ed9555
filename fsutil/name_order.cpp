#include "fsutil/name_order.h"

#include <glib.h>

#include "fsutil/utf8.h"

namespace velmora::fsutil {

char32_t UpcaseCodePoint(char32_t c) {
  if (c > 0xFFFF || (c >= 0xD800 && c <= 0xDFFF)) return c;  // two code units, or an escaped byte
  const auto upper = static_cast<char32_t>(g_unichar_toupper(static_cast<gunichar>(c)));
  return upper <= 0xFFFF ? upper : c;  // the table maps one code unit to one code unit
}

std::u16string NameKey(std::string_view name) {
  std::u32string cps = DecodeUtf8Lossless(name);
  for (char32_t& c : cps) c = UpcaseCodePoint(c);
  return ToUtf16(cps);
}

bool NameLess(std::string_view a, std::string_view b) {
  const std::u16string ka = NameKey(a);
  const std::u16string kb = NameKey(b);
  if (ka != kb) return ka < kb;
  return a < b;
}

bool MatchesPattern(std::string_view name, std::string_view pattern) {
  if (pattern == "*" || pattern == "*.*") return true;
  if (!pattern.empty() && pattern.front() == '*') {
    const std::u16string n = NameKey(name);
    const std::u16string suffix = NameKey(pattern.substr(1));
    return n.size() >= suffix.size() && n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0;
  }
  return NameKey(name) == NameKey(pattern);
}

}  // namespace velmora::fsutil
