#include "mime/input_text.h"

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>

#include "mime/charset.h"

namespace velmora::mime {

namespace {
constexpr size_t kLook = 4 * 1024;  // the start that decides

bool IsBlankOrLineEnd(uint8_t c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Every lone CR (one no LF follows) becomes CRLF.
std::vector<uint8_t> CrToCrlf(std::string_view text) {
  std::vector<uint8_t> out;
  out.reserve(text.size() + text.size() / 32);
  for (size_t i = 0; i < text.size(); ++i) {
    out.push_back(static_cast<uint8_t>(text[i]));
    if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) out.push_back('\n');
  }
  return out;
}
}  // namespace

InputShape ShapeOfInput(const pst::ByteSource& source) {
  const size_t n = static_cast<size_t>(std::min<uint64_t>(kLook, source.Size()));
  std::vector<uint8_t> head(n);
  if (!source.Read(0, head).ok()) return InputShape::kText;  // the parse reports what cannot be read
  if (source.Size() <= kLook && std::all_of(head.begin(), head.end(), IsBlankOrLineEnd))
    return InputShape::kNothing;
  if (n >= 2 && head[0] == 0xFF && head[1] == 0xFE) return InputShape::kUtf16Le;
  if (n >= 2 && head[0] == 0xFE && head[1] == 0xFF) return InputShape::kUtf16Be;
  // Without a mark: a header block is ASCII, so UTF-16 shows a zero in every other byte of its start.
  const size_t pairs = std::min<size_t>(n / 2, 64);
  if (pairs >= 8) {
    size_t zero_even = 0, zero_odd = 0;
    for (size_t i = 0; i < pairs; ++i) {
      zero_even += head[2 * i] == 0;
      zero_odd += head[2 * i + 1] == 0;
    }
    if (zero_odd == pairs && zero_even == 0) return InputShape::kUtf16Le;
    if (zero_even == pairs && zero_odd == 0) return InputShape::kUtf16Be;
  }
  const bool has_lf = std::find(head.begin(), head.end(), '\n') != head.end();
  const auto cr = std::find(head.begin(), head.end(), '\r');
  if (!has_lf && cr != head.end() && cr + 1 != head.end()) return InputShape::kCrLineEnds;
  return InputShape::kText;
}

pst::Result<std::optional<std::vector<uint8_t>>> NormalisedInput(const pst::ByteSource& source,
                                                                 InputShape shape, uint64_t max_bytes) {
  if (shape == InputShape::kText || shape == InputShape::kNothing || source.Size() > max_bytes)
    return std::optional<std::vector<uint8_t>>();
  std::string bytes(static_cast<size_t>(source.Size()), '\0');
  PST_RETURN_IF_ERROR(
      source.Read(0, std::span<uint8_t>(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size())));
  if (shape == InputShape::kCrLineEnds) return std::optional(CrToCrlf(bytes));
  // UTF-16 text through iconv; a mark, when there, agrees with the byte order it is read in.
  std::string text = ConvertToUtf8(bytes, shape == InputShape::kUtf16Le ? "utf-16le" : "utf-16be");
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);  // the mark itself
  return std::optional(CrToCrlf(text));
}

}  // namespace velmora::mime
