#include "mime/encoded_words.h"

#include <gmime/gmime.h>
#include <iconv.h>

#include <map>
#include <mutex>
#include <optional>

#include "mime/charset.h"
#include "mime/gobject_ptr.h"

namespace velmora::mime {
namespace {

// An encoded word longer than this is not one (RFC 2047 allows 75 characters; mailers exceed it, a little).
constexpr size_t kMaxWordLength = 4096;

struct EncodedWord {
  size_t end = 0;  // one past "?="
  std::string charset;
  std::string bytes;
};

bool KnownToIconv(const std::string& name) {
  static std::mutex mu;
  static std::map<std::string, bool> cache;
  std::lock_guard<std::mutex> lock(mu);
  auto it = cache.find(name);
  if (it != cache.end()) return it->second;
  EnsureGMimeInitialised();
  const char* iconv_name = g_mime_charset_iconv_name(name.c_str());
  iconv_t cd = iconv_open("UTF-8", iconv_name ? iconv_name : name.c_str());
  bool ok = cd != reinterpret_cast<iconv_t>(-1);
  if (ok) iconv_close(cd);
  if (cache.size() < 1024) cache[name] = ok;  // bounded: hostile mail could name endless charsets
  return ok;
}

std::string DecodeQ(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '_') {
      out += ' ';
    } else if (c == '=' && i + 2 < text.size() && g_ascii_isxdigit(text[i + 1]) &&
               g_ascii_isxdigit(text[i + 2])) {
      out += static_cast<char>(g_ascii_xdigit_value(text[i + 1]) * 16 + g_ascii_xdigit_value(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

std::string DecodeB(std::string_view text) {
  std::string clean;
  for (char c : text) {
    if (g_ascii_isalnum(c) || c == '+' || c == '/') clean += c;
  }
  while (clean.size() % 4 != 0) clean += '=';  // missing padding is common
  gsize len = 0;
  guchar* bytes = g_base64_decode(clean.c_str(), &len);
  std::string out(reinterpret_cast<char*>(bytes), len);
  g_free(bytes);
  return out;
}

// Parses "=?charset?X?text?=" at `pos` (which holds "=?").
std::optional<EncodedWord> ParseWord(std::string_view s, size_t pos) {
  size_t q1 = s.find('?', pos + 2);
  if (q1 == std::string_view::npos || q1 == pos + 2 || q1 - pos > 80) return std::nullopt;
  std::string_view charset = s.substr(pos + 2, q1 - pos - 2);
  for (char c : charset) {
    if (c == ' ' || c == '\t' || c == '=') return std::nullopt;
  }
  if (q1 + 2 >= s.size() || s[q1 + 2] != '?') return std::nullopt;
  char enc = static_cast<char>(g_ascii_toupper(s[q1 + 1]));
  if (enc != 'B' && enc != 'Q') return std::nullopt;
  size_t text_start = q1 + 3;
  size_t close =
      s.substr(0, std::min(s.size(), pos + kMaxWordLength)).find("?=", text_start);  // bounded scan
  if (close == std::string_view::npos || close - pos > kMaxWordLength) return std::nullopt;
  std::string_view text = s.substr(text_start, close - text_start);
  EncodedWord w;
  w.end = close + 2;
  w.charset = NormalizeCharsetName(charset);
  w.bytes = enc == 'B' ? DecodeB(text) : DecodeQ(text);
  return w;
}

}  // namespace

std::string NormalizeCharsetName(std::string_view charset) {
  std::string name(charset.substr(0, charset.find('*')));
  for (char& c : name) c = static_cast<char>(g_ascii_tolower(c));
  if (name.find('_') == std::string::npos || KnownToIconv(name)) return name;
  std::string dashed = name;
  for (char& c : dashed) {
    if (c == '_') c = '-';
  }
  return KnownToIconv(dashed) ? dashed : name;
}

namespace {

// Walks header text: `literal(text)` for text outside encoded words, `words(utf8)` for each run of adjacent
// encoded words (bytes of adjacent words in one charset are joined before conversion, so a character split
// between two words survives). Blanks between two encoded words are not text (RFC 2047 section 6.2).
template <typename Literal, typename Words>
void WalkHeaderText(std::string_view raw, Literal literal_out, Words words_out) {
  std::string s;
  s.reserve(raw.size());
  for (char c : raw) {
    if (c != '\r' && c != '\n') s += c;
  }
  std::string literal;  // text since the last encoded word, not yet written
  std::string run;      // the current run of words, converted
  std::string pending;  // bytes of adjacent encoded words in one charset, not yet converted
  std::string pending_charset;
  bool after_word = false;  // nothing but blanks since the last encoded word
  auto flush_pending = [&] {
    if (!pending.empty()) run += ConvertToUtf8(pending, pending_charset);
    pending.clear();
  };
  auto flush_run = [&] {
    flush_pending();
    if (!run.empty()) words_out(run);
    run.clear();
  };
  size_t i = 0;
  while (i < s.size()) {
    if (s[i] == '=' && i + 1 < s.size() && s[i + 1] == '?') {
      if (auto w = ParseWord(s, i)) {
        if (after_word) {
          literal.clear();
        } else {
          flush_run();
          literal_out(literal);
          literal.clear();
        }
        if (w->charset != pending_charset) flush_pending();
        pending_charset = w->charset;
        pending += w->bytes;
        i = w->end;
        after_word = true;
        continue;
      }
    }
    char c = s[i++];
    if (after_word && c != ' ' && c != '\t') {
      flush_run();
      after_word = false;
    }
    literal += c;
  }
  flush_run();
  literal_out(literal);
}

}  // namespace

namespace {

// Header text without encoded words is one literal: its line breaks dropped, then decoded as undeclared text.
// Most header values are such; this skips the walk's character-by-character copy.
std::optional<std::string> WithoutEncodedWords(std::string_view raw, std::string_view fallback) {
  std::string s;
  s.reserve(raw.size());
  for (size_t i = 0; i < raw.size();) {
    const size_t stop = raw.find_first_of("\r\n", i);
    const size_t end = stop == std::string_view::npos ? raw.size() : stop;
    s.append(raw, i, end - i);
    i = end + 1;
  }
  if (s.find("=?") != std::string::npos) return std::nullopt;  // (a fold may join "=" and "?")
  if (IsValidUtf8(s)) return s;
  return WithoutNuls(DecodeUndeclared(s, fallback));
}

}  // namespace

std::string DecodeHeaderText(std::string_view raw, std::string_view fallback) {
  if (auto plain = WithoutEncodedWords(raw, fallback)) return std::move(*plain);
  std::string out;
  WalkHeaderText(
      raw, [&](const std::string& text) { out += DecodeUndeclared(text, fallback); },
      [&](const std::string& utf8) { out += utf8; });
  return WithoutNuls(std::move(out));
}

std::string PrepareStructuredHeader(std::string_view raw, std::string_view fallback) {
  if (auto plain = WithoutEncodedWords(raw, fallback)) return std::move(*plain);
  std::string out;
  bool quoted = false;  // inside a quoted string of the text written so far
  WalkHeaderText(
      raw,
      [&](const std::string& text) {
        std::string decoded = DecodeUndeclared(text, fallback);
        for (size_t i = 0; i < decoded.size(); ++i) {
          if (decoded[i] == '\\') {
            ++i;
          } else if (decoded[i] == '"') {
            quoted = !quoted;
          }
        }
        out += decoded;
      },
      [&](const std::string& utf8) {
        // Plain UTF-8 where it cannot change how the address list splits; else a quoted string.
        bool special = utf8.find_first_of("\"\\<>,;:@()[]") != std::string::npos;
        if (!special) {
          out += utf8;
          return;
        }
        if (!quoted) out += '"';
        for (char c : utf8) {
          if (c == '"' || c == '\\') out += '\\';
          out += c;
        }
        if (!quoted) out += '"';
      });
  return WithoutNuls(std::move(out));
}

}  // namespace velmora::mime
