#include "engine/text_rules.h"

#include <cctype>

#include "fsutil/path_strings.h"
#include "fsutil/utf8.h"

namespace velmora::engine {

std::string ReplaceAll(std::string s, const std::string& from, const std::string& to) {
  if (from.empty()) return s;
  size_t pos = 0;
  while ((pos = s.find(from, pos)) != std::string::npos) {
    s.replace(pos, from.size(), to);
    pos += to.size();
  }
  return s;
}

bool HasEmlExtension(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".eml";
}

std::string AsStoredText(const std::string& s) {
  return fsutil::ReplaceInvalidUtf8(s);
}

std::string BangTarget(const std::string& path) {
  std::string target = fsutil::TrimBlanks(path.substr(0, path.find('!')));
  if (!target.empty() && target.back() == '\\') target.pop_back();
  return target;
}

}  // namespace velmora::engine
