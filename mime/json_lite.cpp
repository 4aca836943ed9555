#include "mime/json_lite.h"

#include <glib.h>

#include <cstdlib>

namespace velmora::mime::testing {
namespace {

const Json kNull;

class Parser {
 public:
  explicit Parser(const std::string& s) : s_(s) {}

  std::optional<Json> Document() {
    auto v = Value(0);
    Blank();
    if (!v || pos_ != s_.size()) return std::nullopt;
    return v;
  }

 private:
  void Blank() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\n' || s_[pos_] == '\r' || s_[pos_] == '\t'))
      ++pos_;
  }
  bool Eat(char c) {
    Blank();
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool Word(const char* w) {
    std::string word(w);
    if (s_.compare(pos_, word.size(), word) != 0) return false;
    pos_ += word.size();
    return true;
  }

  std::optional<std::string> String() {
    if (!Eat('"')) return std::nullopt;
    std::string out;
    while (pos_ < s_.size()) {
      char c = s_[pos_++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= s_.size()) return std::nullopt;
      char e = s_[pos_++];
      switch (e) {
        case 'n':
          out += '\n';
          break;
        case 't':
          out += '\t';
          break;
        case 'r':
          out += '\r';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'u': {
          auto unit = Hex4();
          if (!unit) return std::nullopt;
          uint32_t cp = *unit;
          if (cp >= 0xD800 && cp < 0xDC00 && s_.compare(pos_, 2, "\\u") == 0) {
            pos_ += 2;
            auto low = Hex4();
            if (!low) return std::nullopt;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (*low - 0xDC00);
          }
          char buf[8];
          out.append(buf, static_cast<size_t>(g_unichar_to_utf8(cp, buf)));
          break;
        }
        default:
          out += e;
      }
    }
    return std::nullopt;
  }
  std::optional<uint32_t> Hex4() {
    if (pos_ + 4 > s_.size()) return std::nullopt;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      int d = g_ascii_xdigit_value(s_[pos_++]);
      if (d < 0) return std::nullopt;
      v = v * 16 + static_cast<uint32_t>(d);
    }
    return v;
  }

  std::optional<Json> Value(int depth) {
    if (depth > 64) return std::nullopt;
    Blank();
    if (pos_ >= s_.size()) return std::nullopt;
    Json j;
    char c = s_[pos_];
    if (c == '"') {
      auto s = String();
      if (!s) return std::nullopt;
      j.kind = Json::Kind::kString;
      j.string = std::move(*s);
    } else if (c == '[') {
      ++pos_;
      j.kind = Json::Kind::kArray;
      if (Eat(']')) return j;
      do {
        auto v = Value(depth + 1);
        if (!v) return std::nullopt;
        j.array.push_back(std::move(*v));
      } while (Eat(','));
      if (!Eat(']')) return std::nullopt;
    } else if (c == '{') {
      ++pos_;
      j.kind = Json::Kind::kObject;
      if (Eat('}')) return j;
      do {
        auto k = String();
        if (!k || !Eat(':')) return std::nullopt;
        auto v = Value(depth + 1);
        if (!v) return std::nullopt;
        j.object[*k] = std::move(*v);
      } while (Eat(','));
      if (!Eat('}')) return std::nullopt;
    } else if (Word("null")) {
    } else if (Word("true")) {
      j.kind = Json::Kind::kBool;
      j.boolean = true;
    } else if (Word("false")) {
      j.kind = Json::Kind::kBool;
    } else {
      char* end = nullptr;
      j.number = std::strtod(s_.c_str() + pos_, &end);
      if (end == s_.c_str() + pos_) return std::nullopt;
      pos_ = static_cast<size_t>(end - s_.c_str());
      j.kind = Json::Kind::kNumber;
    }
    return j;
  }

  const std::string& s_;
  size_t pos_ = 0;
};

}  // namespace

const Json& Json::operator[](const std::string& key) const {
  auto it = object.find(key);
  return it == object.end() ? kNull : it->second;
}
const Json& Json::operator[](size_t i) const {
  return i < array.size() ? array[i] : kNull;
}

std::optional<Json> ParseJson(const std::string& text) {
  return Parser(text).Document();
}

}  // namespace velmora::mime::testing
