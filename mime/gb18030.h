// Chinese text in GB18030 and the charsets it extends (GBK, code page 936, GB2312, which mail labels
// carry GBK text under), read the same on every system. The byte structure is walked here: single bytes,
// two-byte sequences, four-byte sequences. Runs of one- and two-byte sequences go to iconv; four-byte
// sequences beyond the BMP are arithmetic; those inside the BMP go to iconv one at a time.
#pragma once

#include <string>
#include <string_view>

namespace velmora::mime {

// UTF-8 of `bytes`. A byte that starts no sequence (0xFF, a lead byte without a valid trail) is U+FFFD and
// reading goes on at the next byte; so is a sequence the system cannot convert. 0x80 is the euro sign when
// `euro_at_0x80` (code page 936 has it there, GB18030 has not), else U+FFFD.
std::string DecodeGb18030(std::string_view bytes, bool euro_at_0x80);

}  // namespace velmora::mime
