#include "fsutil/path_strings.h"

#include "fsutil/utf8.h"

namespace velmora::fsutil {
namespace {

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = s[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

// The index of the last `sep` among all characters but the final one, or npos.
size_t LastSeparatorBeforeFinal(std::string_view s, char sep) {
  if (s.size() < 2) return std::string_view::npos;
  return s.substr(0, s.size() - 1).rfind(sep);
}

}  // namespace

PathKind ClassifySearchPath(std::string_view search_path, char sep) {
  if (search_path.size() >= 2 && search_path[0] == sep && search_path[1] == sep) return PathKind::Unc;
  if (StartsWithNoCase(search_path, "ftp://")) return PathKind::Ftp;
  return PathKind::Local;
}

std::string SearchFolder(std::string_view search_path, PathKind kind, char sep) {
  const size_t at = LastSeparatorBeforeFinal(search_path, kind == PathKind::Ftp ? '/' : sep);
  if (at == std::string_view::npos) return {};
  if (kind == PathKind::Unc && at < 2) return {};
  return std::string(search_path.substr(0, at + 1));
}

std::string NameExtension(std::string_view name) {
  const size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
}

std::string NameFromFullPath(std::string_view full_path, char sep) {
  const size_t at = LastSeparatorBeforeFinal(full_path, sep);
  std::string_view name = at == std::string_view::npos ? full_path : full_path.substr(at + 1);
  if (!name.empty() && name.back() == sep) name.remove_suffix(1);
  return std::string(name);
}

std::u16string LongPathForm(std::string_view path) {
  std::u16string out;
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    out = u"\\\\?\\UNC\\";
    path.remove_prefix(2);
  } else {
    out = u"\\\\?\\";
  }
  out += ToUtf16(DecodeUtf8Lossless(path));
  out.push_back(u'\0');
  return out;
}

std::string TrimAtNul(std::string_view s) {
  return std::string(s.substr(0, s.find('\0')));
}

std::string TrimBlanks(std::string_view s) {
  const size_t first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const size_t last = s.find_last_not_of(' ');
  return std::string(s.substr(first, last - first + 1));
}

}  // namespace velmora::fsutil
