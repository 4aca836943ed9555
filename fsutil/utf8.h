// Byte strings as code points and UTF-16 code units, without losing bytes that are not UTF-8.
//
// File names on POSIX are bytes. A name that is valid UTF-8 decodes to its code points; every byte that is
// not part of a valid sequence stands for itself as the lone low surrogate U+DC00 + byte (U+DC80..U+DCFF). No
// valid text holds a lone surrogate, so such names keep a stable identity and a stable place in the name
// order.
#pragma once

#include <string>
#include <string_view>

namespace velmora::fsutil {

// Code points of `bytes`; invalid bytes become U+DC80..U+DCFF as described above.
std::u32string DecodeUtf8Lossless(std::string_view bytes);

// UTF-16 code units of `code_points`: above U+FFFF a surrogate pair, everything else (escaped bytes included)
// one unit.
std::u16string ToUtf16(std::u32string_view code_points);

}  // namespace velmora::fsutil
