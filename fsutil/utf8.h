// UTF-8, decoded and encoded in one place for every layer.
//
// Decoding follows RFC 3629: overlong forms, encoded surrogates (ED A0 80 ...) and values above U+10FFFF are
// ill-formed, as are cut-off sequences and stray continuation bytes.
//
// File names on POSIX are bytes. For them DecodeUtf8Lossless keeps every byte that is not part of a valid
// sequence as the lone low surrogate U+DC00 + byte (U+DC80..U+DCFF). No valid text holds a lone surrogate,
// so such names keep a stable identity and a stable place in the name order.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora::fsutil {

// One step of decoding at s[i] (i < s.size()): the code point and the bytes it took. An ill-formed sequence
// gives valid = false and, by the Unicode "maximal subpart" rule, the length of the part that could still
// have become valid (at least 1), so that decoding resumes at the first byte that broke it.
struct Utf8Step {
  char32_t code_point = 0;
  size_t length = 1;
  bool valid = false;
};
Utf8Step DecodeUtf8At(std::string_view s, size_t i);

// Whether all of `s` is well-formed UTF-8.
bool IsValidUtf8(std::string_view s);

// `s` with every ill-formed sequence replaced by U+FFFD, as it reads back from a store that keeps UTF-16.
std::string ReplaceInvalidUtf8(std::string_view s);

// Appends the UTF-8 form of a code point (no check: the caller passes a scalar value).
void AppendUtf8(std::string& out, char32_t code_point);

// Code points of `bytes`; invalid bytes become U+DC80..U+DCFF as described above.
std::u32string DecodeUtf8Lossless(std::string_view bytes);

// UTF-16 code units of `code_points`: above U+FFFF a surrogate pair, everything else (escaped bytes included)
// one unit.
std::u16string ToUtf16(std::u32string_view code_points);

// The UTF-16 form of a UTF-8 string (a path on its way to a wide Win32 call): ToUtf16(DecodeUtf8Lossless(s)).
std::u16string Utf16FromUtf8(std::string_view s);
// The UTF-8 form of UTF-16 text (a name from a wide Win32 call). A lone surrogate U+DC80..U+DCFF gives back
// the byte DecodeUtf8Lossless escaped; any other lone surrogate becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view s);

}  // namespace velmora::fsutil
