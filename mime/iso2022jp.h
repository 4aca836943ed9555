// ISO-2022-JP as Windows reads it (code page 50220): besides JIS X 0208 it carries the NEC special row 13
// (①, №, ㈱ ...) and the IBM extension rows 89-92 (纊, ⅰ ...), which iconv's ISO-2022-JP lacks. Those pairs are
// read through CP932 (iconv has it), the rest through EUC-JP, which maps JIS X 0208, JIS X 0212 and
// half-width katakana as iconv's ISO-2022-JP does. Escape sequences and SO/SI switch the sets.
#pragma once

#include <string>
#include <string_view>

namespace velmora::mime {

// UTF-8 of `bytes`; bytes no set maps become U+FFFD.
std::string DecodeIso2022Jp(std::string_view bytes);

}  // namespace velmora::mime
