// Single-byte charsets whose tables the program keeps itself: those Windows has no code page for (ISO 8859-10,
// -11, -14, -16, TIS-620) and those whose Windows code page maps some bytes otherwise than the charset's
// standard (ISO 8859-7 and -8, KOI8-U, Mac Roman, windows-1255), so that both systems read them alike.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora::mime {

// UTF-8 of `bytes` when `charset` (lower case) is one of those charsets; bytes it leaves undefined become
// U+FFFD. No value for any other charset.
std::optional<std::string> DecodeOwnSingleByte(std::string_view bytes, std::string_view charset);

}  // namespace velmora::mime
