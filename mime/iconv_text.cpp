#include "mime/iconv_text.h"

#include <iconv.h>

#include <cerrno>

namespace velmora::mime {

std::optional<std::string> IconvToUtf8(std::string_view bytes, const char* iconv_name) {
  iconv_t cd = iconv_open("UTF-8", iconv_name);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;

  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  char buf[4096];
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  while (true) {
    char* o = buf;
    size_t o_left = sizeof buf;
    size_t r = iconv(cd, in_left ? &in : nullptr, in_left ? &in_left : nullptr, &o, &o_left);
    out.append(buf, sizeof buf - o_left);
    if (r != static_cast<size_t>(-1)) {
      if (in_left == 0) {
        // Flush the shift state (ISO-2022-JP ends in ASCII mode).
        o = buf;
        o_left = sizeof buf;
        iconv(cd, nullptr, nullptr, &o, &o_left);
        out.append(buf, sizeof buf - o_left);
        break;
      }
      continue;
    }
    if (errno == E2BIG) continue;
    // EILSEQ (an unmappable byte) or EINVAL (a sequence cut off at the end): mark it and go on. Some
    // converters (glibc's CP949 on A2 E8) report EILSEQ after taking in the whole sequence: nothing is left
    // to step over then.
    out += "\xEF\xBF\xBD";
    if (in_left == 0) break;
    ++in;
    --in_left;
    if (in_left == 0) break;
  }
  iconv_close(cd);
  return out;
}

}  // namespace velmora::mime
