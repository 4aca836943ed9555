// Base64 decoding for attachment contents, a GMime filter that takes the place of GMime's basic filter.
//
// GMime's decoder (g_mime_encoding_base64_decode_step) takes one byte a step through its rank table; in the
// mixed export it was over a quarter of all instructions. This one decodes four characters a step where the
// text allows (runs of the alphabet between line ends) and is byte for byte GMime's otherwise: characters
// outside the alphabet are passed over, and the first '=' ends the data (a quartet cut short by it gives its
// whole bytes; nothing after it is decoded). GLib's g_base64_decode_step also works a byte at a time, and no
// Debian library in reach keeps these rules.
#pragma once

#include <gmime/gmime.h>

#include <cstddef>
#include <cstdint>

namespace velmora::mime {

// The decoder's state between chunks: the digits of an incomplete quartet, or the end of the data.
struct Base64State {
  int state = 0;      // digits held (0-3), or -1 once an '=' ended the data
  uint32_t save = 0;  // the held digits, six bits each
};

// Decodes `in` into `out` (room for `in_len` + 3 bytes) and returns the bytes written.
size_t DecodeBase64Step(const unsigned char* in, size_t in_len, unsigned char* out, Base64State& state);

// A new filter that decodes base64 (owned by the caller, like g_mime_filter_basic_new's).
GMimeFilter* NewBase64DecodeFilter();

}  // namespace velmora::mime
