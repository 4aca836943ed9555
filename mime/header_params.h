// Parameters of structured headers (Content-Type, Content-Disposition) read from the header's raw text, so
// that their charsets are decoded by this program's charset layer (the same on every system), not by the
// iconv below GMime: RFC 2231 values (charset'language'%XX and continuations name*0, name*1*, ...) and RFC 2047
// encoded words inside ordinary values.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora::mime {

// The UTF-8 value of parameter `name` (case-insensitive) in a raw header value ("attachment; filename*=..."),
// or no value when the header has no such parameter.
std::optional<std::string> HeaderParameter(std::string_view raw, std::string_view name);

}  // namespace velmora::mime
