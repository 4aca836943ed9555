// A PST keeps the size of every value in 32 bits: an attachment of 4 GiB or more cannot be stored. The
// sizes of a message's values are known before any of them is written (a streamed attachment knows its
// length), so such a message is refused before its first block reaches the file, with the attachment named.
#pragma once

#include <cstdint>
#include <string>

#include "pst/content/message_content.h"
#include "pst/ndb/status.h"

namespace velmora::pst {

// The largest value a PST holds: 4 GiB - 1 bytes.
inline constexpr uint64_t kMaxValueBytes = UINT32_MAX;

// kInvalidArgument, `attachment "x.iso" (4.5 GB) is larger than a PST can hold (4 GB per attachment)`, for
// the first attachment (embedded messages' ones included) or other value over the limit; Ok otherwise.
Status CheckValueSizes(const MessageContent& content);

// "4.5 GB", "731 MB", "12 KB", "80 bytes" (powers of 1000, as file managers show sizes).
std::string SizeText(uint64_t bytes);

}  // namespace velmora::pst
