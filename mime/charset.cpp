#include "mime/charset.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <optional>
#include <utility>

#include "fsutil/utf8.h"
#include "mime/double_byte.h"
#include "mime/encoded_words.h"
#include "mime/gb18030.h"
#include "mime/gobject_ptr.h"
#include "mime/iconv_text.h"
#include "mime/iso2022jp.h"
#include "mime/single_byte.h"
#include "mime/unicode_forms.h"

namespace velmora::mime {
namespace {

// Standard Windows code page identifiers for the charsets mail uses.
constexpr std::pair<const char*, int32_t> kCodePages[] = {
    {"us-ascii", 20127},
    {"ascii", 20127},
    {"ansi_x3.4-1968", 20127},
    {"utf-8", 65001},
    {"utf8", 65001},
    {"utf-7", 65000},
    {"iso-8859-1", 28591},
    {"latin1", 28591},
    {"iso-8859-2", 28592},
    {"iso-8859-3", 28593},
    {"iso-8859-4", 28594},
    {"iso-8859-5", 28595},
    {"iso-8859-6", 28596},
    {"iso-8859-7", 28597},
    {"iso-8859-8", 28598},
    {"iso-8859-8-i", 38598},
    {"iso-8859-9", 28599},
    {"iso-8859-13", 28603},
    {"iso-8859-15", 28605},
    {"windows-874", 874},
    {"windows-1250", 1250},
    {"windows-1251", 1251},
    {"windows-1252", 1252},
    {"windows-1253", 1253},
    {"windows-1254", 1254},
    {"windows-1255", 1255},
    {"windows-1256", 1256},
    {"windows-1257", 1257},
    {"windows-1258", 1258},
    {"cp1250", 1250},
    {"cp1251", 1251},
    {"cp1252", 1252},
    {"koi8-r", 20866},
    {"koi8-u", 21866},
    {"shift_jis", 932},
    {"shift-jis", 932},
    {"sjis", 932},
    {"x-sjis", 932},
    {"cp932", 932},
    {"windows-31j", 932},
    {"iso-2022-jp", 50220},
    {"euc-jp", 51932},
    {"gb2312", 936},
    {"gbk", 936},
    {"cp936", 936},
    {"x-gbk", 936},
    {"gb18030", 54936},
    {"hz-gb-2312", 52936},
    {"big5", 950},
    {"big5-hkscs", 950},
    {"cp950", 950},
    {"euc-kr", 51949},
    {"ks_c_5601-1987", 949},
    {"cp949", 949},
    {"iso-2022-kr", 50225},
    {"utf-16", 1200},
    {"utf-16le", 1200},
    {"utf-16be", 1201},
    {"utf-32", 12000},
    {"tis-620", 874},
    {"windows-874", 874},
    {"iso-8859-11", 874},
    {"cp866", 866},
    {"ibm866", 866},
    {"macintosh", 10000},
    {"x-mac-roman", 10000},
};

// The Windows code pages leave a few bytes of 0x80-0x9F undefined. Windows reads them as the C1 control of
// the same value, iconv elsewhere refuses them; both are read as U+FFFD (no text holds C1 controls there).
void UndefinedC1ToReplacement(std::string& utf8) {
  for (size_t i = 0; i + 1 < utf8.size(); ++i) {
    if (utf8[i] == '\xC2' && static_cast<unsigned char>(utf8[i + 1]) <= 0x9F) {
      utf8.replace(i, 2, "\xEF\xBF\xBD");
      i += 2;
    }
  }
}

}  // namespace

int32_t CodePageForCharset(std::string_view charset) {
  std::string name = NormalizeCharsetName(charset);
  for (const auto& [n, cp] : kCodePages) {
    if (name == n) return cp;
  }
  // Aliases GMime knows (latin-1, iso_8859-1:1987, x-user-defined spellings ...) resolve to a canonical name.
  EnsureGMimeInitialised();  // GMime's charset tables exist only after its initialisation
  const char* canon = g_mime_charset_canon_name(name.c_str());
  if (canon && name != Lower(canon)) {
    std::string c = Lower(canon);
    for (const auto& [n, cp] : kCodePages) {
      if (c == n) return cp;
    }
  }
  return 0;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;  // as g_ascii_tolower
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  return bytes.find('\0') == std::string_view::npos && fsutil::IsValidUtf8(bytes);
}

std::string ConvertToUtf8(std::string_view bytes, std::string_view charset) {
  std::string name = NormalizeCharsetName(charset);
  if (name.empty()) return DecodeUndeclared(bytes);
  if (name == "us-ascii" || name == "ascii" || name == "utf-8" || name == "utf8") {
    // Declared ASCII that carries 8-bit bytes is common; UTF-8 first, then the undeclared fallback.
    return DecodeUndeclared(bytes);
  }
  if (UnicodeDecoder decode = UnicodeFormDecoder(name)) return decode(bytes);
  // As Windows reads it, with the rows iconv lacks.
  if (name == "iso-2022-jp" || name == "csiso2022jp") return DecodeIso2022Jp(bytes);
  int32_t code_page = CodePageForCharset(name);
  if (code_page == 936 || code_page == 54936) return DecodeGb18030(bytes, code_page == 936);  // holds GBK
  if (std::optional<std::string> own = DecodeOwnSingleByte(bytes, name)) return std::move(*own);
  if (name == "euc-jp" || name == "eucjp" || name == "x-euc-jp" || name == "ujis" ||
      name == "cseucpkdfmtjapanese")
    return DecodeEucJp(bytes);
  if (name == "iso-2022-kr" || name == "csiso2022kr") return DecodeIso2022Kr(bytes);
  DoubleByteCharset double_byte;
  if (DoubleByteCharsetOf(name, &double_byte)) return DecodeDoubleByte(bytes, double_byte);
  EnsureGMimeInitialised();
  const char* iconv_name = g_mime_charset_iconv_name(name.c_str());
  std::optional<std::string> out = IconvToUtf8(bytes, iconv_name ? iconv_name : name.c_str());
  if (!out) return DecodeUndeclared(bytes);
  bool windows_name =
      name.rfind("windows-", 0) == 0 || name.rfind("cp", 0) == 0 || name.rfind("x-cp", 0) == 0;
  if (windows_name && (code_page == 874 || (code_page >= 1250 && code_page <= 1258))) {
    UndefinedC1ToReplacement(*out);
  }
  return std::move(*out);
}

namespace {

// "utf-16le" or "utf-16be" when the text is UTF-16 in any case, "utf-16" when a byte-order mark says so,
// "" when it is not UTF-16. Mostly-ASCII UTF-16 has a zero in every other byte; the start decides.
std::string Utf16Form(std::string_view b) {
  if (b.size() >= 2 && ((b[0] == '\xFF' && b[1] == '\xFE') || (b[0] == '\xFE' && b[1] == '\xFF')))
    return "utf-16";
  constexpr size_t kSample = 256;  // characters looked at: enough for a line or two of text
  size_t pairs = std::min(b.size(), kSample * 2) / 2;
  if (pairs < 2) return "";
  size_t zero_even = 0, zero_odd = 0;
  for (size_t i = 0; i < pairs; ++i) {
    const bool even = b[2 * i] == '\0', odd = b[2 * i + 1] == '\0';
    if (!even && !odd) return "";  // neither form has a pair without a zero byte: text in a byte charset
    zero_even += even;
    zero_odd += odd;
  }
  if (zero_even == pairs && zero_odd == 0) return "utf-16be";
  if (zero_odd == pairs && zero_even == 0) return "utf-16le";
  return "";
}

}  // namespace

std::string WithoutNuls(std::string text) {
  if (text.find('\0') == std::string::npos) return text;  // memchr: most text has none
  text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
  return text;
}

std::string DecodeBodyText(std::string_view bytes, std::string_view charset) {
  std::string name = NormalizeCharsetName(charset);
  std::string utf16 = name.rfind("utf-16", 0) == 0 ? std::string() : Utf16Form(bytes);
  return WithoutNuls(ConvertToUtf8(bytes, utf16.empty() ? charset : std::string_view(utf16)));
}

std::string DecodeUndeclared(std::string_view bytes, std::string_view fallback) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  std::string fb = Lower(fallback);
  if (fb.empty() || fb == "utf-8" || fb == "us-ascii") fb = "windows-1252";
  return ConvertToUtf8(bytes, fb);
}

}  // namespace velmora::mime
