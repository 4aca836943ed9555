// Mail files that are not yet the 8-bit, LF or CRLF text GMime reads: a file saved as UTF-16 (with or without
// a byte-order mark) by an editor, and a file with the lone CR line ends of the old Mac OS. Both are turned
// into that text before parsing, in memory (such files are small; a larger one is parsed as it is). A file
// that holds nothing but blanks and line ends has no message in it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "pst/ltp/property.h"

namespace velmora::mime {

enum class InputShape { kText, kNothing, kUtf16Le, kUtf16Be, kCrLineEnds };

// What the start of `source` shows (its first few KB).
InputShape ShapeOfInput(const pst::ByteSource& source);

// The text of `source` of that shape as UTF-8 with CRLF line ends; nullopt when it is larger than
// `max_bytes` (or is kText / kNothing).
pst::Result<std::optional<std::vector<uint8_t>>> NormalisedInput(const pst::ByteSource& source,
                                                                 InputShape shape, uint64_t max_bytes);

}  // namespace velmora::mime
