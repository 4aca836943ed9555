#include "mime/uuencode.h"

#include <algorithm>

namespace velmora::mime {
namespace {

constexpr size_t kMaxLineBytes = 63;  // the count character holds 6 bits; encoders write at most 45

int Digit(char c) {
  return (c - ' ') & 0x3F;  // '`' (0x60) is the other spelling of zero
}

bool IsUuChar(char c) {
  return c >= ' ' && c <= '`';
}

std::string_view WithoutLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return line;
}

// Appends the bytes of one data line; false when the line cannot be one (then nothing is appended).
bool DecodeLine(std::string_view line, std::string& out) {
  line = WithoutLineEnd(line);
  if (line.empty() || !std::all_of(line.begin(), line.end(), IsUuChar)) return false;
  size_t count = static_cast<size_t>(Digit(line[0]));
  size_t groups = (count + 2) / 3;
  // Some encoders add a checksum character after the groups.
  if (count > kMaxLineBytes || line.size() - 1 > groups * 4 + 1) return false;
  std::string chars(line.substr(1, groups * 4));
  chars.resize(groups * 4, ' ');  // the trailing blanks a transport stripped
  for (size_t g = 0; g < groups; ++g) {
    const char* p = chars.data() + g * 4;
    uint32_t bits =
        static_cast<uint32_t>(Digit(p[0]) << 18 | Digit(p[1]) << 12 | Digit(p[2]) << 6 | Digit(p[3]));
    for (int k = 0; k < 3 && g * 3 + static_cast<size_t>(k) < count; ++k)
      out += static_cast<char>((bits >> (16 - 8 * k)) & 0xFF);
  }
  return true;
}

bool IsEnd(std::string_view line) {
  line = WithoutLineEnd(line);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  return line == "end";
}

// "begin 644 name": the name, or "" when the line is no begin line.
std::string BeginName(std::string_view line) {
  line = WithoutLineEnd(line);
  if (line.substr(0, 6) != "begin ") return "";
  size_t i = 6;
  size_t digits = 0;
  while (i < line.size() && line[i] >= '0' && line[i] <= '7') ++i, ++digits;
  if (digits < 3 || digits > 4 || i >= line.size() || line[i] != ' ') return "";
  std::string_view name = line.substr(i + 1);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  return std::string(name);
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
    out.push_back(text.substr(pos, end - pos));
    pos = end;
  }
  return out;
}

}  // namespace

std::string DecodeUuencoded(std::string_view content) {
  std::string out;
  bool data = false;  // past the begin line (or no begin line at all)
  for (std::string_view line : Lines(content)) {
    if (!data) {
      if (!BeginName(line).empty()) {
        data = true;
        continue;
      }
      if (WithoutLineEnd(line).empty()) continue;
      data = true;  // content without a begin line: data from the first line
    }
    if (IsEnd(line)) break;
    std::string_view l = WithoutLineEnd(line);
    if (!l.empty() && Digit(l[0]) == 0) break;  // the zero-count line before "end"
    DecodeLine(line, out);
  }
  return out;
}

std::vector<UuFile> TakeUuencodedBlocks(std::string& text) {
  if (text.find("begin ") == std::string::npos) return {};
  std::vector<std::string_view> lines = Lines(text);
  std::vector<UuFile> files;
  std::string kept;
  size_t i = 0;
  while (i < lines.size()) {
    std::string name = BeginName(lines[i]);
    if (!name.empty()) {
      UuFile f{name, {}};
      size_t j = i + 1;
      bool ended = false;
      for (; j < lines.size(); ++j) {
        if (IsEnd(lines[j])) {
          ended = true;
          break;
        }
        std::string_view l = WithoutLineEnd(lines[j]);
        if (l.empty() || (Digit(l[0]) == 0 && l.size() <= 2))
          continue;  // the zero-count line, maybe stripped
        if (!DecodeLine(lines[j], f.data)) break;
      }
      if (ended) {
        files.push_back(std::move(f));
        i = j + 1;
        continue;
      }
    }
    kept += lines[i];
    ++i;
  }
  if (!files.empty()) text = std::move(kept);
  return files;
}

}  // namespace velmora::mime
