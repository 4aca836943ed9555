// The double-byte charsets of East Asia read as Windows reads them (Shift_JIS as code page 932, Big5 as 950,
// EUC-KR as 949, each a superset its mail is written in) and the same on every system: the byte structure is
// walked here and each character converted alone, so a code one system's tables refuse or leave to private
// use is one U+FFFD everywhere, and no converter's way of stepping over a bad code can shift the text.
#pragma once

#include <string>
#include <string_view>

namespace velmora::mime {

enum class DoubleByteCharset { kJapanese, kTraditionalChinese, kKorean };

// The double-byte charset a MIME charset name (lower case) is read as, if it is one.
bool DoubleByteCharsetOf(std::string_view charset, DoubleByteCharset* which);

// UTF-8 of `bytes`: ASCII as it is; a lead byte with a trail byte one character; any other byte above 0x7F
// one character (Shift_JIS half-width katakana) or U+FFFD. Characters the system refuses, C1 controls and
// private-use code points (user-defined characters) become U+FFFD.
std::string DecodeDoubleByte(std::string_view bytes, DoubleByteCharset which);

// EUC-JP the same way: JIS X 0208 codes are read through code page 932 (their Shift_JIS form), so that the
// rows Windows adds (NEC's row 13, IBM's rows 89-92) read as they do there and as in Shift_JIS; half-width
// katakana likewise. JIS X 0212 codes (0x8F and two bytes) go to the system's EUC-JP, where it has them.
std::string DecodeEucJp(std::string_view bytes);

// ISO-2022-KR (RFC 1557): after SO, pairs of 7-bit bytes are KS X 1001 codes (EUC-KR with the high bits
// cleared), read as EUC-KR above; SI returns to ASCII; the designator ESC $ ) C is dropped.
std::string DecodeIso2022Kr(std::string_view bytes);

}  // namespace velmora::mime
