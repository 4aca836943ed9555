#include "mime/header_params.h"

#include <glib.h>

#include <map>

#include "mime/charset.h"
#include "mime/encoded_words.h"

namespace velmora::mime {
namespace {

constexpr size_t kMaxSections = 1000;  // continuations of one value: more is no mail, only a long loop

// attribute (lower case) -> value, quotes and escapes removed; the first of repeated attributes counts.
std::map<std::string, std::string> Parameters(std::string_view s) {
  std::map<std::string, std::string> out;
  size_t i = s.find(';');
  while (i != std::string_view::npos && i < s.size()) {
    ++i;  // past ';'
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == ';')) ++i;
    size_t eq = s.find('=', i);
    if (eq == std::string_view::npos) break;
    std::string attribute = Lower(s.substr(i, eq - i));
    while (!attribute.empty() && (attribute.back() == ' ' || attribute.back() == '\t')) attribute.pop_back();
    i = eq + 1;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    std::string value;
    if (i < s.size() && s[i] == '"') {
      for (++i; i < s.size() && s[i] != '"'; ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) ++i;
        value += s[i];
      }
      i = s.find(';', i);
    } else {
      size_t end = s.find(';', i);
      value = std::string(s.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i));
      while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
      i = end;
    }
    out.emplace(std::move(attribute), std::move(value));
  }
  return out;
}

std::string PercentDecoded(std::string_view v) {
  std::string out;
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] == '%' && i + 2 < v.size() && g_ascii_isxdigit(v[i + 1]) && g_ascii_isxdigit(v[i + 2])) {
      out += static_cast<char>(g_ascii_xdigit_value(v[i + 1]) * 16 + g_ascii_xdigit_value(v[i + 2]));
      i += 2;
    } else {
      out += v[i];
    }
  }
  return out;
}

// "charset'language'rest": the charset, and `v` left at the rest. No charset when the quotes are missing.
std::string TakeCharset(std::string& v) {
  size_t q1 = v.find('\'');
  size_t q2 = q1 == std::string::npos ? q1 : v.find('\'', q1 + 1);
  if (q2 == std::string::npos) return "";
  std::string charset = v.substr(0, q1);
  v.erase(0, q2 + 1);
  return charset;
}

}  // namespace

std::optional<std::string> HeaderParameter(std::string_view raw, std::string_view name) {
  std::string unfolded;
  for (char c : raw) {
    if (c != '\r' && c != '\n') unfolded += c;
  }
  std::map<std::string, std::string> params = Parameters(unfolded);
  std::string key = Lower(name);
  if (auto it = params.find(key + "*"); it != params.end()) {
    std::string v = it->second;
    std::string charset = TakeCharset(v);
    return ConvertToUtf8(PercentDecoded(v), charset);
  }
  if (params.count(key + "*0*") || params.count(key + "*0")) {
    std::string bytes, charset;
    for (size_t k = 0; k < kMaxSections; ++k) {
      std::string section = key + "*" + std::to_string(k);
      if (auto enc = params.find(section + "*"); enc != params.end()) {
        std::string v = enc->second;
        if (k == 0) charset = TakeCharset(v);
        bytes += PercentDecoded(v);
      } else if (auto plain = params.find(section); plain != params.end()) {
        bytes += plain->second;
      } else {
        break;
      }
    }
    return charset.empty() ? DecodeHeaderText(bytes) : ConvertToUtf8(bytes, charset);
  }
  if (auto it = params.find(key); it != params.end()) return DecodeHeaderText(it->second);
  return std::nullopt;
}

}  // namespace velmora::mime
