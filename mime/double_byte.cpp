#include "mime/double_byte.h"

#include <iconv.h>

#include <memory>

#include "fsutil/utf8.h"

namespace velmora::mime {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

struct Form {
  const char* iconv_name;
  bool (*lead)(unsigned char);
  bool (*trail)(unsigned char);
};

bool In(unsigned b, unsigned lo, unsigned hi) {
  return b >= lo && b <= hi;
}

const Form& FormOf(DoubleByteCharset which) {
  static const Form kJapanese{"CP932", [](unsigned char b) { return In(b, 0x81, 0x9F) || In(b, 0xE0, 0xFC); },
                              [](unsigned char b) { return In(b, 0x40, 0x7E) || In(b, 0x80, 0xFC); }};
  static const Form kTraditionalChinese{
      "CP950", [](unsigned char b) { return In(b, 0x81, 0xFE); },
      [](unsigned char b) { return In(b, 0x40, 0x7E) || In(b, 0xA1, 0xFE); }};
  static const Form kKorean{
      "CP949", [](unsigned char b) { return In(b, 0x81, 0xFE); },
      [](unsigned char b) { return In(b, 0x41, 0x5A) || In(b, 0x61, 0x7A) || In(b, 0x81, 0xFE); }};
  switch (which) {
    case DoubleByteCharset::kJapanese:
      return kJapanese;
    case DoubleByteCharset::kTraditionalChinese:
      return kTraditionalChinese;
    case DoubleByteCharset::kKorean:
      break;
  }
  return kKorean;
}

// One character's bytes through `cd`: its code point when iconv gives exactly one that text may hold.
bool ConvertOne(iconv_t cd, std::string_view code, std::string& out) {
  char buf[16];
  char* in = const_cast<char*>(code.data());
  size_t in_left = code.size();
  char* o = buf;
  size_t o_left = sizeof buf;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &in, &in_left, &o, &o_left) == static_cast<size_t>(-1) || in_left != 0) return false;
  std::string_view text(buf, sizeof buf - o_left);
  fsutil::Utf8Step step = text.empty() ? fsutil::Utf8Step{} : fsutil::DecodeUtf8At(text, 0);
  char32_t c = step.code_point;
  if (!step.valid || step.length != text.size() || (c >= 0x80 && c <= 0x9F) || (c >= 0xE000 && c <= 0xF8FF))
    return false;
  out.append(text);
  return true;
}

// An iconv descriptor for the length of one decoding.
class Converter {
 public:
  explicit Converter(const char* name) : cd_(iconv_open("UTF-8", name)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  // One character, or U+FFFD.
  void Put(std::string_view code, std::string& out) {
    if (!ok() || !ConvertOne(cd_, code, out)) out += kReplacement;
  }

 private:
  iconv_t cd_;
};

// The Shift_JIS bytes of a JIS X 0208 code (row and cell 1-94).
std::string ShiftJisOf(int row, int cell) {
  int lead = (row + 1) / 2 + (row <= 62 ? 0x80 : 0xC0);
  int trail = row % 2 ? cell + (cell >= 64 ? 0x40 : 0x3F) : cell + 0x9E;
  return {static_cast<char>(lead), static_cast<char>(trail)};
}

}  // namespace

bool DoubleByteCharsetOf(std::string_view charset, DoubleByteCharset* which) {
  static constexpr std::pair<const char*, DoubleByteCharset> kNames[] = {
      {"shift_jis", DoubleByteCharset::kJapanese},
      {"shift-jis", DoubleByteCharset::kJapanese},
      {"sjis", DoubleByteCharset::kJapanese},
      {"x-sjis", DoubleByteCharset::kJapanese},
      {"ms_kanji", DoubleByteCharset::kJapanese},
      {"csshiftjis", DoubleByteCharset::kJapanese},
      {"cp932", DoubleByteCharset::kJapanese},
      {"windows-31j", DoubleByteCharset::kJapanese},
      {"big5", DoubleByteCharset::kTraditionalChinese},
      {"csbig5", DoubleByteCharset::kTraditionalChinese},
      {"x-x-big5", DoubleByteCharset::kTraditionalChinese},
      {"cp950", DoubleByteCharset::kTraditionalChinese},
      {"euc-kr", DoubleByteCharset::kKorean},
      {"cseuckr", DoubleByteCharset::kKorean},
      {"ks_c_5601-1987", DoubleByteCharset::kKorean},
      {"ks_c_5601-1989", DoubleByteCharset::kKorean},
      {"ksc5601", DoubleByteCharset::kKorean},
      {"korean", DoubleByteCharset::kKorean},
      {"cp949", DoubleByteCharset::kKorean},
      {"uhc", DoubleByteCharset::kKorean},
  };
  for (const auto& [name, w] : kNames) {
    if (charset == name) {
      *which = w;
      return true;
    }
  }
  return false;
}

std::string DecodeDoubleByte(std::string_view bytes, DoubleByteCharset which) {
  const Form& form = FormOf(which);
  Converter converter(form.iconv_name);
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  for (size_t i = 0; i < bytes.size();) {
    auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      out += bytes[i++];
      continue;
    }
    size_t n =
        i + 1 < bytes.size() && form.lead(b) && form.trail(static_cast<unsigned char>(bytes[i + 1])) ? 2 : 1;
    converter.Put(bytes.substr(i, n), out);
    i += n;
  }
  return out;
}

std::string DecodeEucJp(std::string_view bytes) {
  Converter cp932("CP932");
  std::unique_ptr<Converter> jis_x_0212;  // opened when a code needs it
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  auto at = [&](size_t k) { return k < bytes.size() ? static_cast<unsigned char>(bytes[k]) : 0u; };
  for (size_t i = 0; i < bytes.size();) {
    unsigned b = at(i);
    if (b < 0x80) {
      out += bytes[i++];
    } else if (b == 0x8E && In(at(i + 1), 0xA1, 0xDF)) {
      cp932.Put(bytes.substr(i + 1, 1), out);
      i += 2;
    } else if (b == 0x8F && In(at(i + 1), 0xA1, 0xFE) && In(at(i + 2), 0xA1, 0xFE)) {
      if (!jis_x_0212) jis_x_0212 = std::make_unique<Converter>("EUC-JP");
      jis_x_0212->Put(bytes.substr(i, 3), out);
      i += 3;
    } else if (In(b, 0xA1, 0xFE) && In(at(i + 1), 0xA1, 0xFE)) {
      cp932.Put(ShiftJisOf(static_cast<int>(b) - 0xA0, static_cast<int>(at(i + 1)) - 0xA0), out);
      i += 2;
    } else {
      out += kReplacement;
      ++i;
    }
  }
  return out;
}

std::string DecodeIso2022Kr(std::string_view bytes) {
  Converter cp949("CP949");
  std::string out;
  out.reserve(bytes.size());
  bool shifted = false;
  for (size_t i = 0; i < bytes.size();) {
    auto b = static_cast<unsigned char>(bytes[i]);
    if (bytes.substr(i, 4) == "\x1B$)C") {
      i += 4;
    } else if (b == 0x0E || b == 0x0F) {
      shifted = b == 0x0E;
      ++i;
    } else if (b >= 0x80) {
      out += kReplacement;
      ++i;
    } else if (shifted && In(b, 0x21, 0x7E) && i + 1 < bytes.size() &&
               In(static_cast<unsigned char>(bytes[i + 1]), 0x21, 0x7E)) {
      std::string code = {static_cast<char>(b | 0x80), static_cast<char>(bytes[i + 1] | 0x80)};
      cp949.Put(code, out);
      i += 2;
    } else {
      out += shifted && In(b, 0x21, 0x7E) ? kReplacement : std::string(1, bytes[i]);
      ++i;
    }
  }
  return out;
}

}  // namespace velmora::mime
