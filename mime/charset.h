// Charsets: Windows code page numbers for the properties that record them, and conversion of text to UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora::mime {

// The Windows code page for a MIME charset name (case-insensitive, common aliases accepted), 0 when unknown.
int32_t CodePageForCharset(std::string_view charset);

// Well-formed UTF-8 without NUL bytes.
bool IsValidUtf8(std::string_view bytes);

// ASCII letters in lower case, everything else as it is (charset, header and parameter names, addresses).
std::string Lower(std::string_view s);

// Converts `bytes` in `charset` to UTF-8. Bytes the charset cannot map become U+FFFD, never dropped. An
// unknown or empty charset is treated as undeclared (see DecodeUndeclared).
std::string ConvertToUtf8(std::string_view bytes, std::string_view charset);

// Text whose charset nobody declared: kept as it is when it is valid UTF-8 (RFC 6532), else read as
// `fallback` (windows-1252 by default: a superset of ISO-8859-1 that maps every byte to something visible).
std::string DecodeUndeclared(std::string_view bytes, std::string_view fallback = "windows-1252");

// The text of a body part: UTF-16 is recognised whatever the label says (a byte-order mark, or a zero in
// every other byte of the start) because a wrong label on UTF-16 is common and its NULs would end the text
// for Outlook; otherwise `charset` is used as ConvertToUtf8 does. U+0000 never survives.
std::string DecodeBodyText(std::string_view bytes, std::string_view charset);

// `text` without NUL characters: Outlook strings end at the first one.
std::string WithoutNuls(std::string text);

}  // namespace velmora::mime
