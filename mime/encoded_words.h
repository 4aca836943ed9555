// RFC 2047 encoded words in unstructured header text (Subject, Thread-Topic, X- headers), read leniently:
// words glued to text or to each other, blanks inside Q words, charsets written with '_' ("koi8_r") or with
// an RFC 2231 language ("utf-8*en"), and multi-byte characters split across adjacent words of one charset
// (the bytes of such words are joined before conversion). Text outside encoded words is undeclared 8-bit
// text.
#pragma once

#include <string>
#include <string_view>

namespace velmora::mime {

// Unfolds (drops CR and LF) and decodes to UTF-8. Blanks between two encoded words are dropped. 8-bit text
// outside encoded words is read as UTF-8 when valid, else in `fallback` (the charset the message declares
// for its text), else windows-1252. NULs are dropped.
std::string DecodeHeaderText(std::string_view raw, std::string_view fallback = "");

// A structured header (an address list) made ready for GMime's parser: each run of encoded words is decoded
// as DecodeHeaderText decodes it (raw 8-bit bytes inside a word are the word's charset, not undeclared text)
// and written as UTF-8 text, quoted when it holds characters that separate addresses;
// 8-bit text outside words is decoded as DecodeHeaderText does.
std::string PrepareStructuredHeader(std::string_view raw, std::string_view fallback = "");

// The charset name iconv knows for what a header wrote: lower-cased, the RFC 2231 language removed, and
// '_' read as '-' when only that spelling is known ("koi8_r" -> "koi8-r"; "shift_jis" stays).
std::string NormalizeCharsetName(std::string_view charset);

}  // namespace velmora::mime
