#include "mime/html_text.h"

#include <glib.h>
#include <libxml/HTMLparser.h>

#include <cstring>
#include <iterator>
#include <utility>

namespace velmora::mime {
namespace {

// ASCII only, as g_ascii_tolower, but inline: the tag and attribute searches call it for every byte.
char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool StartsWithNoCase(std::string_view s, size_t pos, std::string_view prefix) {
  if (pos + prefix.size() > s.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (Lower(s[pos + i]) != prefix[i]) return false;
  }
  return true;
}

// `needle` is lower case. The first byte is tested inline: most positions of a page fail there.
size_t FindNoCase(std::string_view s, size_t from, std::string_view needle) {
  if (needle.empty()) return from;
  const char first = needle[0];
  for (size_t i = from; i + needle.size() <= s.size(); ++i) {
    if (Lower(s[i]) == first && StartsWithNoCase(s, i, needle)) return i;
  }
  return std::string_view::npos;
}

void AppendCodePoint(std::string& out, uint32_t cp) {
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) cp = 0xFFFD;
  char buf[8];
  int n = g_unichar_to_utf8(cp, buf);
  out.append(buf, static_cast<size_t>(n));
}

bool IsBlockTag(std::string_view name) {
  static constexpr const char* kBlocks[] = {
      "p",  "div", "br", "tr",  "li",    "h1",         "h2", "h3", "h4",      "h5",     "h6",
      "hr", "ul",  "ol", "pre", "table", "blockquote", "dt", "dd", "address", "center", "form"};
  for (const char* b : kBlocks) {
    if (name == b) return true;
  }
  return false;
}

bool IsParagraphTag(std::string_view name) {
  return name == "p" || name == "h1" || name == "h2" || name == "h3" || name == "h4" || name == "h5" ||
         name == "h6" || name == "blockquote" || name == "table" || name == "ul" || name == "ol" ||
         name == "pre";
}

// Elements whose content is not text the reader sees.
bool IsSkippedContainer(std::string_view name) {
  return name == "script" || name == "style" || name == "head" || name == "title" || name == "xml";
}

class TextBuilder {
 public:
  void Text(std::string_view s, bool preformatted) {
    for (char c : s) {
      if (!preformatted && (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f')) {
        pending_space_ = true;
        continue;
      }
      if (preformatted && c == '\r') continue;
      if (preformatted && c == '\n') {
        LineBreak();
        continue;
      }
      Flush();
      out_ += c;
      at_line_start_ = false;
    }
  }
  void Raw(std::string_view utf8) {
    Flush();
    out_ += utf8;
    at_line_start_ = false;
  }
  // <br>: always a new line.
  void LineBreak() {
    pending_space_ = false;
    while (!out_.empty() && out_.back() == ' ') out_.pop_back();  // trailing blanks carry nothing
    out_ += "\r\n";
    at_line_start_ = true;
  }
  // Block elements (div, li, tr ...): what follows starts on a line of its own.
  void BlockBoundary() {
    if (!at_line_start_) LineBreak();
  }
  // Paragraphs and headings: one empty line between them and what came before, never more.
  void ParagraphBoundary() {
    BlockBoundary();
    if (out_.size() >= 4 && out_.compare(out_.size() - 4, 4, "\r\n\r\n") == 0) return;
    if (!out_.empty()) LineBreak();
  }
  void Separator() {  // between table cells
    if (!at_line_start_) pending_space_ = true;
  }
  std::string Finish() {
    while (!out_.empty() && (out_.back() == '\n' || out_.back() == '\r' || out_.back() == ' '))
      out_.pop_back();
    size_t start = 0;
    while (start + 1 < out_.size() && out_[start] == '\r' && out_[start + 1] == '\n') start += 2;
    return out_.substr(start);
  }

 private:
  void Flush() {
    if (pending_space_ && !at_line_start_) out_ += ' ';
    pending_space_ = false;
  }
  std::string out_;
  bool pending_space_ = false;
  bool at_line_start_ = true;
};

// Reads a tag name starting at `pos` (just after '<' or "</"), lower-cased.
std::string TagName(std::string_view html, size_t pos) {
  std::string name;
  while (pos < html.size() && (g_ascii_isalnum(html[pos]) || html[pos] == ':' || html[pos] == '-')) {
    name += Lower(html[pos++]);
  }
  return name;
}

// End of a tag: the '>' not inside a quoted attribute value; npos when the document ends first.
size_t TagEnd(std::string_view html, size_t pos) {
  char quote = 0;
  for (; pos < html.size(); ++pos) {
    char c = html[pos];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      // A quote only opens a value right after '='; stray quotes in broken HTML do not swallow the rest.
      size_t k = pos;
      while (k > 0 && (html[k - 1] == ' ' || html[k - 1] == '\t')) --k;
      if (k > 0 && html[k - 1] == '=') quote = c;
    } else if (c == '>') {
      return pos;
    }
  }
  return std::string_view::npos;
}

}  // namespace

std::string DecodeCharacterReference(std::string_view name) {
  std::string out;
  if (!name.empty() && name[0] == '#') {
    uint32_t cp = 0;
    bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
    size_t i = hex ? 2 : 1;
    if (i >= name.size()) return "";
    for (; i < name.size(); ++i) {
      int d = hex ? g_ascii_xdigit_value(name[i]) : g_ascii_digit_value(name[i]);
      if (d < 0) return "";
      cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(d);
      if (cp > 0x10FFFF) cp = 0x110000;  // stays out of range without overflowing
    }
    AppendCodePoint(out, cp);
    return out;
  }
  // The named references of HTML 4 from libxml2's table; &apos; comes from XHTML, which mail also uses.
  const std::string key(name);
  if (const htmlEntityDesc* e = htmlEntityLookup(reinterpret_cast<const xmlChar*>(key.c_str()))) {
    AppendCodePoint(out, e->value);
  } else if (name == "apos") {
    AppendCodePoint(out, '\'');
  }
  return out;
}

std::string HtmlToText(std::string_view html) {
  TextBuilder text;
  bool pre = false;
  size_t i = 0;
  while (i < html.size()) {
    char c = html[i];
    if (c == '<') {
      if (html.compare(i, 4, "<!--") == 0) {
        size_t end = html.find("-->", i + 4);
        i = end == std::string_view::npos ? html.size() : end + 3;
        continue;
      }
      bool closing = i + 1 < html.size() && html[i + 1] == '/';
      size_t name_pos = i + (closing ? 2 : 1);
      if (name_pos >= html.size() ||
          !(g_ascii_isalpha(html[name_pos]) || html[name_pos] == '!' || html[name_pos] == '?')) {
        text.Text("<", pre);  // a lone '<' in text
        ++i;
        continue;
      }
      std::string name = TagName(html, name_pos);
      size_t end = TagEnd(html, name_pos);
      if (end == std::string_view::npos) break;  // a cut-off tag at the end shows nothing
      i = end + 1;
      if (!closing && IsSkippedContainer(name) && html[end - 1] != '/') {
        std::string close = "</" + name;
        size_t stop = FindNoCase(html, i, close);
        if (stop == std::string_view::npos) break;
        size_t stop_end = html.find('>', stop);
        i = stop_end == std::string_view::npos ? html.size() : stop_end + 1;
        continue;
      }
      if (name == "pre") pre = !closing;
      if (name == "td" || name == "th") {
        text.Separator();
      } else if (name == "br") {
        text.LineBreak();
      } else if (IsParagraphTag(name)) {
        text.ParagraphBoundary();
      } else if (IsBlockTag(name)) {
        text.BlockBoundary();
      }
      continue;
    }
    if (c == '&') {
      size_t semi = i + 1;
      while (semi < html.size() && semi - i <= 10 && (g_ascii_isalnum(html[semi]) || html[semi] == '#'))
        ++semi;
      if (semi < html.size() && html[semi] == ';') {
        std::string decoded = DecodeCharacterReference(html.substr(i + 1, semi - i - 1));
        if (!decoded.empty()) {
          if (decoded == "\xC2\xA0")
            text.Text(" ", pre);  // a no-break space reads as a space
          else
            text.Raw(decoded);
          i = semi + 1;
          continue;
        }
      }
      text.Raw("&");
      ++i;
      continue;
    }
    size_t next = html.find_first_of("<&", i);
    if (next == std::string_view::npos) next = html.size();
    text.Text(html.substr(i, next - i), pre);
    i = next;
  }
  return text.Finish();
}

// Both collectors below visit each ':' or '=' once (memchr) and look back for the name before it, instead of
// searching the body once per name character by character: on a large HTML body that was a tenth of a small
// message's parse. A name found inside a value already collected for the same name is not counted, so the
// result is that of a search that resumes after each value.

std::set<std::string> CidReferences(std::string_view html) {
  std::set<std::string> out;
  size_t resume = 0;  // a "cid:" starting before this lies inside the last id
  for (size_t colon = html.find(':'); colon != std::string_view::npos; colon = html.find(':', colon + 1)) {
    if (colon < 3 || colon - 3 < resume || !StartsWithNoCase(html, colon - 3, "cid")) continue;
    size_t pos = colon + 1;
    std::string id;
    while (pos < html.size()) {
      char c = html[pos];
      if (c == '"' || c == '\'' || c == ')' || c == '>' || c == ' ' || c == '\t' || c == '\r' || c == '\n')
        break;
      if (c == '%' && pos + 2 < html.size() && g_ascii_isxdigit(html[pos + 1]) &&
          g_ascii_isxdigit(html[pos + 2])) {
        id +=
            static_cast<char>(g_ascii_xdigit_value(html[pos + 1]) * 16 + g_ascii_xdigit_value(html[pos + 2]));
        pos += 3;
        continue;
      }
      id += Lower(c);
      ++pos;
    }
    resume = pos;
    if (!id.empty()) out.insert(id);
  }
  return out;
}

std::set<std::string> UrlReferences(std::string_view html) {
  static constexpr std::string_view kNames[] = {"src", "background", "href"};
  size_t resume[std::size(kNames)] = {};  // per name, as for "cid:" above
  std::set<std::string> out;
  for (size_t eq = html.find('='); eq != std::string_view::npos; eq = html.find('=', eq + 1)) {
    for (size_t k = 0; k < std::size(kNames); ++k) {
      const std::string_view name = kNames[k];
      if (eq < name.size() || eq - name.size() < resume[k] || !StartsWithNoCase(html, eq - name.size(), name))
        continue;
      size_t pos = eq + 1;
      char quote = pos < html.size() && (html[pos] == '"' || html[pos] == '\'') ? html[pos++] : 0;
      std::string url;
      while (pos < html.size()) {
        char c = html[pos];
        if (quote ? c == quote : (c == ' ' || c == '>' || c == '\t' || c == '\r' || c == '\n')) break;
        url += Lower(c);
        ++pos;
      }
      resume[k] = pos;
      if (!url.empty()) out.insert(std::move(url));
    }
  }
  return out;
}

}  // namespace velmora::mime
