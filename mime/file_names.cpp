#include "mime/file_names.h"

#include <glib.h>

#include <cstdio>
#include <cstring>
#include <utility>

namespace velmora::mime {
namespace {

bool IsIllegal(unsigned char c) {
  return c < 0x20 || std::strchr("\"*/:<>?\\|", c) != nullptr;
}

// Characters allowed in an 8.3 name besides letters and digits (FAT short-name rules).
bool IsShortNameChar(unsigned char c) {
  return g_ascii_isalnum(c) || (c != 0 && std::strchr("!#$%&'()-@^_`{}~", c) != nullptr);
}

std::string Upper(const std::string& s) {
  std::string out = s;
  for (char& c : out) c = static_cast<char>(g_ascii_toupper(c));
  return out;
}

std::string ShortChars(const std::string& s, size_t max) {
  std::string out;
  for (unsigned char c : s) {
    if (out.size() == max) break;
    if (c == ' ' || c == '.' || c >= 0x80) continue;  // dropped, as Windows does for short names
    out += IsShortNameChar(c) ? static_cast<char>(c) : '_';
  }
  return out;
}

constexpr std::pair<const char*, const char*> kExtensions[] = {
    {"text/plain", ".txt"},
    {"text/html", ".htm"},
    {"text/calendar", ".ics"},
    {"text/enriched", ".txt"},
    {"text/rfc822-headers", ".txt"},
    {"text/csv", ".csv"},
    {"text/xml", ".xml"},
    {"image/jpeg", ".jpg"},
    {"image/jpg", ".jpg"},
    {"image/pjpeg", ".jpg"},
    {"image/png", ".png"},
    {"image/x-png", ".png"},
    {"image/gif", ".gif"},
    {"image/bmp", ".bmp"},
    {"image/tiff", ".tif"},
    {"image/svg+xml", ".svg"},
    {"image/webp", ".webp"},
    {"application/pdf", ".pdf"},
    {"application/zip", ".zip"},
    {"application/gzip", ".gz"},
    {"application/x-gzip", ".gz"},
    {"application/msword", ".doc"},
    {"application/xml", ".xml"},
    {"application/json", ".json"},
    {"message/rfc822", ".eml"},
    {"message/delivery-status", ".txt"},
    {"message/disposition-notification", ".txt"},
    {"application/pgp-encrypted", ".asc"},
    {"audio/mpeg", ".mp3"},
    {"audio/wav", ".wav"},
    {"video/mp4", ".mp4"},
};

}  // namespace

std::string SanitizeFileName(const std::string& name) {
  std::string base = name;
  size_t slash = base.find_last_of("/\\");
  if (slash != std::string::npos) base = base.substr(slash + 1);
  std::string out;
  for (unsigned char c : base) out += IsIllegal(c) ? '_' : static_cast<char>(c);
  size_t b = out.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  size_t e = out.find_last_not_of(" .");
  if (e == std::string::npos || e < b) return "";
  out = out.substr(b, e - b + 1);
  if (!g_utf8_validate(out.data(), static_cast<gssize>(out.size()), nullptr)) {
    char* valid = g_utf8_make_valid(out.data(), static_cast<gssize>(out.size()));
    out = valid;
    g_free(valid);
  }
  return out;
}

std::string FileExtension(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return "";
  return name.substr(dot);
}

std::string ShortFileName(const std::string& long_name, ShortNames& names) {
  std::string ext = FileExtension(long_name);
  std::string base = long_name.substr(0, long_name.size() - ext.size());
  std::string ext_body = ext.empty() ? "" : ext.substr(1);
  bool fits = !base.empty() && base.size() <= 8 && ext_body.size() <= 3;
  for (unsigned char c : base) fits = fits && IsShortNameChar(c);
  for (unsigned char c : ext_body) fits = fits && IsShortNameChar(c);
  if (fits && names.taken.insert(Upper(long_name)).second) return long_name;

  std::string stem = ShortChars(base, 6);
  if (stem.empty()) stem = "ATT";
  std::string short_ext = ShortChars(ext_body, 3);
  int& n = names.next[Upper(stem + "." + short_ext)];
  while (true) {
    std::string tail = "~" + std::to_string(++n);
    // Longer numbers eat into the stem so the name stays within eight characters.
    std::string s = stem.substr(0, std::min(stem.size(), 8 - tail.size())) + tail;
    if (!short_ext.empty()) s += "." + short_ext;
    if (names.taken.insert(Upper(s)).second) return s;
  }
}

std::string GeneratedFileName(const std::string& mime_type, int sequence) {
  std::string type;
  for (char c : mime_type) type += static_cast<char>(g_ascii_tolower(c));
  if (type == "application/ms-tnef" || type == "application/vnd.ms-tnef") return "winmail.dat";
  if (type == "application/pkcs7-mime" || type == "application/x-pkcs7-mime") return "smime.p7m";
  if (type == "application/pkcs7-signature" || type == "application/x-pkcs7-signature") return "smime.p7s";
  if (type == "application/pgp-signature") return "signature.asc";
  const char* ext = ".dat";
  for (const auto& [t, e] : kExtensions) {
    if (type == t) ext = e;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "ATT%05d", sequence % 100000);
  return std::string(buf) + ext;
}

}  // namespace velmora::mime
