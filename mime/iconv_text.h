// Text in a charset converted to UTF-8 by the iconv the program is linked with (glibc's on Linux, Windows'
// code pages through GLib's win_iconv on Windows). Callers decide what that iconv may be trusted with.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora::mime {

// UTF-8 of `bytes` in the charset iconv calls `iconv_name`; each sequence iconv refuses becomes U+FFFD and
// conversion goes on at the next byte. No value when iconv does not know the charset.
std::optional<std::string> IconvToUtf8(std::string_view bytes, const char* iconv_name);

}  // namespace velmora::mime
