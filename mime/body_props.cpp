#include "mime/body_props.h"

#include <cstring>

#include "mime/byte_sources.h"
#include "mime/charset.h"
#include "mime/gobject_ptr.h"
#include "mime/html_text.h"
#include "mime/prop_tags.h"

namespace velmora::mime {
namespace {

using pst::PropValue;

// How far into an HTML document a <meta charset> is looked for (HTML5 asks browsers for 1024 bytes).
constexpr size_t kMetaSniffBytes = 4096;

std::string DeclaredCharset(GMimePart* part) {
  const char* cs = g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset");
  std::string s = OrEmpty(cs);
  size_t b = s.find_first_not_of(" \t\"'");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t\"'") - b + 1);
}

int32_t CodePageOf(const std::string& charset, const std::string& sample) {
  int32_t cp = charset.empty() ? 0 : CodePageForCharset(charset);
  if (cp != 0) return cp;
  // Undeclared: ASCII if it is, UTF-8 if it reads as that, else the windows-1252 fallback we decode with.
  bool ascii = true;
  for (unsigned char c : sample) ascii = ascii && c < 0x80;
  if (ascii) return 20127;
  return IsValidUtf8(sample) ? 65001 : 1252;
}

}  // namespace

std::string ToCrlf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  const size_t n = text.size();
  size_t copied = 0;  // text before this is in `out`; from here to `i` it is unchanged so far
  size_t i = 0;
  while (i < n) {
    // The next CR or LF (strcspn stops at a NUL too, which is ordinary text here). Runs of lines that end
    // in CRLF already are copied at the end as one piece.
    i += std::strcspn(text.c_str() + i, "\r\n");
    if (i >= n) break;
    if (text[i] == '\0') {
      ++i;
      continue;
    }
    if (text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') {
      i += 2;
      continue;
    }
    out.append(text, copied, i - copied);  // a lone CR or LF becomes CRLF
    out += "\r\n";
    copied = ++i;
  }
  out.append(text, copied, n - copied);
  return out;
}

std::string EnrichedToText(const std::string& in) {
  std::string out;
  bool in_param = false;
  for (size_t i = 0; i < in.size(); ++i) {
    char c = in[i];
    if (c == '<') {
      if (i + 1 < in.size() && in[i + 1] == '<') {
        out += '<';
        ++i;
        continue;
      }
      size_t end = in.find('>', i);
      if (end == std::string::npos) break;
      std::string cmd = Lower(in.substr(i + 1, end - i - 1));
      if (cmd == "param") in_param = true;
      if (cmd == "/param") in_param = false;
      i = end;
      continue;
    }
    if (in_param) continue;
    out += c;
  }
  return out;
}

std::string HtmlCharset(GMimePart* html, const std::string& head) {
  std::string declared = DeclaredCharset(html);
  if (!declared.empty()) return declared;
  std::string lower = Lower(head.substr(0, kMetaSniffBytes));
  size_t pos = lower.find("charset=");
  if (pos == std::string::npos) return "";
  pos += 8;
  while (pos < lower.size() && (lower[pos] == '"' || lower[pos] == '\'' || lower[pos] == ' ')) ++pos;
  size_t end = pos;
  while (end < lower.size() && (g_ascii_isalnum(lower[end]) || lower[end] == '-' || lower[end] == '_' ||
                                lower[end] == ':' || lower[end] == '.')) {
    ++end;
  }
  return lower.substr(pos, end - pos);
}

pst::Result<InlineContext> SetBodyProperties(const BodyChoice& choice, size_t max_body_bytes,
                                             SpillStore& spill, pst::PropertyMap& props) {
  InlineContext ic;
  int32_t codepage = 0;
  if (choice.html) {
    PST_ASSIGN_OR_RETURN(auto bytes, spill.StorePartContent(choice.html));
    // The decoded HTML is usually small enough to be held already: read it there rather than decode again.
    auto* held = dynamic_cast<const MemorySource*>(bytes.get());
    std::string raw = held && held->Size() <= max_body_bytes
                          ? std::string(held->bytes().begin(), held->bytes().end())
                          : ReadPartContent(choice.html, max_body_bytes);
    props[tag::kHtml] = PropValue::Stream(pst::kPtypBinary, std::move(bytes));
    std::string charset = HtmlCharset(choice.html, raw);
    codepage = CodePageOf(charset, raw);
    std::string html = DecodeBodyText(raw, charset);
    ic.cids = CidReferences(html);
    ic.urls = UrlReferences(html);
    if (!choice.plain) props[tag::kBody] = PropValue::String(HtmlToText(html));
  }
  if (choice.plain) {
    std::string raw = ReadPartContent(choice.plain, max_body_bytes);
    std::string charset = DeclaredCharset(choice.plain);
    std::string text = DecodeBodyText(raw, charset);
    if (choice.plain_is_enriched) {
      text = EnrichedToText(text);
    } else {
      ic.uuencoded = TakeUuencodedBlocks(text);  // shown as attachments, as Outlook shows them
    }
    props[tag::kBody] = PropValue::String(ToCrlf(text));
    if (!choice.html) codepage = CodePageOf(charset, raw);
  }
  if (codepage != 0) {
    props[tag::kInternetCodepage] = PropValue::Int32(codepage);
    props[tag::kMessageCodepage] = PropValue::Int32(codepage);
  }
  return ic;
}

}  // namespace velmora::mime
