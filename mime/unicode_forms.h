// The Unicode encoding forms other than UTF-8, decoded by us rather than by the iconv below: iconv builds
// disagree on them (the Windows one reads UTF-16 without a byte-order mark as little-endian and leaves UTF-7
// to a code page that not every system converts), and the text must come out the same everywhere.
#pragma once

#include <string>
#include <string_view>

namespace velmora::mime {

enum class ByteOrder { kBigEndian, kLittleEndian, kByMark };

// UTF-16 (RFC 2781). kByMark: a leading byte-order mark chooses the order and is dropped; without one the
// zero bytes of the start choose (Latin text from Windows programs is little-endian without a mark), else
// big-endian. With a fixed order a leading U+FEFF is text (a zero-width no-break space). A lone
// surrogate or a cut-off last unit becomes U+FFFD.
std::string DecodeUtf16(std::string_view bytes, ByteOrder order);

// UTF-32, the same way; values that are no Unicode scalar value become U+FFFD.
std::string DecodeUtf32(std::string_view bytes, ByteOrder order);

// UTF-7 (RFC 2152): "+" opens modified base64 of UTF-16, ended by any character outside the base64
// alphabet ("-" is then absorbed); "+-" is "+". 8-bit bytes, lone surrogates and a base64 run that ends in
// nonzero bits become U+FFFD.
std::string DecodeUtf7(std::string_view bytes);

// The decoder above for a charset name iconv would be given (lower case), or nullptr when it is none of them.
using UnicodeDecoder = std::string (*)(std::string_view);
UnicodeDecoder UnicodeFormDecoder(std::string_view charset);

}  // namespace velmora::mime
