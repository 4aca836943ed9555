#include "fsutil/utf8.h"

#include <cstdint>
#include <cstring>

namespace velmora::fsutil {

Utf8Step DecodeUtf8At(std::string_view s, size_t i) {
  const auto b0 = static_cast<uint8_t>(s[i]);
  if (b0 < 0x80) return {b0, 1, true};
  size_t len = 0;
  char32_t cp = 0;
  uint8_t lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2, cp = b0 & 0x1Fu;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3, cp = b0 & 0x0Fu;
    if (b0 == 0xE0) lo = 0xA0;  // below: overlong
    if (b0 == 0xED) hi = 0x9F;  // above: surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4, cp = b0 & 0x07u;
    if (b0 == 0xF0) lo = 0x90;  // below: overlong
    if (b0 == 0xF4) hi = 0x8F;  // above: beyond U+10FFFF
  } else {
    return {};  // a continuation byte, an overlong lead (C0, C1) or F5..FF
  }
  size_t k = 1;
  for (; k < len && i + k < s.size(); ++k) {
    const auto b = static_cast<uint8_t>(s[i + k]);
    if (k == 1 ? (b < lo || b > hi) : (b < 0x80 || b > 0xBF)) break;
    cp = (cp << 6) | (b & 0x3Fu);
  }
  return k == len ? Utf8Step{cp, len, true} : Utf8Step{0, k, false};
}

bool IsValidUtf8(std::string_view s) {
  // Mail text is mostly ASCII: a run of it is passed over thirty-two bytes a step, then eight.
  constexpr uint64_t kHighBits = 0x8080808080808080ull;
  size_t i = 0;
  while (i < s.size()) {
    for (uint64_t w[4]; i + 32 <= s.size(); i += 32) {
      std::memcpy(w, s.data() + i, 32);
      if (((w[0] | w[1] | w[2] | w[3]) & kHighBits) != 0) break;
    }
    for (uint64_t word = 0; i + 8 <= s.size(); i += 8) {
      std::memcpy(&word, s.data() + i, 8);
      if ((word & kHighBits) != 0) break;
    }
    if (i >= s.size()) break;
    const Utf8Step step = DecodeUtf8At(s, i);
    if (!step.valid) return false;
    i += step.length;
  }
  return true;
}

std::string ReplaceInvalidUtf8(std::string_view s) {
  if (IsValidUtf8(s)) return std::string(s);
  std::string out;
  out.reserve(s.size() + 8);
  for (size_t i = 0; i < s.size();) {
    const Utf8Step step = DecodeUtf8At(s, i);
    if (step.valid) {
      out.append(s, i, step.length);
    } else {
      AppendUtf8(out, 0xFFFD);
    }
    i += step.length;
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::u32string DecodeUtf8Lossless(std::string_view bytes) {
  constexpr char32_t kEscapeBase = 0xDC00;  // a byte b that is not UTF-8 becomes U+DC00 + b
  std::u32string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    const Utf8Step step = DecodeUtf8At(bytes, i);
    for (size_t k = 0; !step.valid && k < step.length; ++k)
      out.push_back(kEscapeBase + static_cast<uint8_t>(bytes[i + k]));
    if (step.valid) out.push_back(step.code_point);
    i += step.length;
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

std::u16string Utf16FromUtf8(std::string_view s) {
  return ToUtf16(DecodeUtf8Lossless(s));
}

std::string Utf8FromUtf16(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const char32_t unit = s[i];
    const bool high = unit >= 0xD800 && unit < 0xDC00;
    if (high && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (s[++i] - 0xDC00));
    } else if (unit >= 0xDC80 && unit < 0xDD00) {
      out.push_back(static_cast<char>(unit - 0xDC00));  // a byte escaped by DecodeUtf8Lossless
    } else {
      AppendUtf8(out, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
    }
  }
  return out;
}

}  // namespace velmora::fsutil
