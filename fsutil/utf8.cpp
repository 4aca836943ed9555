#include "fsutil/utf8.h"

#include <cstdint>

namespace velmora::fsutil {
namespace {

constexpr char32_t kEscapeBase = 0xDC00;  // a byte b that is not UTF-8 becomes U+DC00 + b

bool IsContinuation(unsigned char b) {
  return (b & 0xC0) == 0x80;
}

// Length of the valid sequence at the start of `s` and its code point, or 0 when the first byte starts none.
// Rejects overlong forms, encoded surrogates and values above U+10FFFF (RFC 3629 section 4).
size_t DecodeOne(std::string_view s, char32_t* out) {
  const auto b0 = static_cast<unsigned char>(s[0]);
  if (b0 < 0x80) {
    *out = b0;
    return 1;
  }
  size_t len = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1Fu, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0Fu, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07u, min = 0x10000;
  } else {
    return 0;
  }
  if (s.size() < len) return 0;
  for (size_t i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (!IsContinuation(b)) return 0;
    cp = (cp << 6) | (b & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  *out = cp;
  return len;
}

}  // namespace

std::u32string DecodeUtf8Lossless(std::string_view bytes) {
  std::u32string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    char32_t cp = 0;
    size_t used = DecodeOne(bytes, &cp);
    if (used == 0) {
      cp = kEscapeBase + static_cast<unsigned char>(bytes[0]);
      used = 1;
    }
    out.push_back(cp);
    bytes.remove_prefix(used);
  }
  return out;
}

std::u16string ToUtf16(std::u32string_view code_points) {
  std::u16string out;
  out.reserve(code_points.size());
  for (char32_t cp : code_points) {
    if (cp >= 0x10000) {
      const char32_t v = cp - 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

}  // namespace velmora::fsutil
