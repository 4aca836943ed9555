#include "mime/unicode_forms.h"

#include <algorithm>
#include <cstdint>

#include "fsutil/utf8.h"

namespace velmora::mime {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(uint32_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(uint32_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

// Collects UTF-16 code units and writes the text they form.
class Utf16Sink {
 public:
  explicit Utf16Sink(std::string& out) : out_(out) {}
  void Put(uint32_t unit) {
    if (high_ && IsLowSurrogate(unit)) {
      fsutil::AppendUtf8(out_, 0x10000 + ((high_ - 0xD800) << 10) + (unit - 0xDC00));
      high_ = 0;
      return;
    }
    Flush();
    if (IsHighSurrogate(unit)) {
      high_ = unit;
    } else {
      fsutil::AppendUtf8(out_, IsLowSurrogate(unit) ? kReplacement : unit);
    }
  }
  // Ends the text: a high surrogate that no low one followed is U+FFFD.
  void Flush() {
    if (high_) fsutil::AppendUtf8(out_, kReplacement);
    high_ = 0;
  }

 private:
  std::string& out_;
  uint32_t high_ = 0;
};

uint32_t Unit(std::string_view b, size_t i, size_t width, bool big) {
  uint32_t v = 0;
  for (size_t k = 0; k < width; ++k) {
    uint32_t byte = static_cast<unsigned char>(b[big ? i + k : i + width - 1 - k]);
    v = v << 8 | byte;
  }
  return v;
}

// The order to read in and where the text starts, after a byte-order mark when `order` asks for one.
bool BigEndian(std::string_view& bytes, ByteOrder order, size_t width) {
  if (order != ByteOrder::kByMark) return order == ByteOrder::kBigEndian;
  if (bytes.size() >= width) {
    bool little = Unit(bytes, 0, width, false) == 0xFEFF;
    if (little || Unit(bytes, 0, width, true) == 0xFEFF) {
      bytes.remove_prefix(width);
      return !little;
    }
  }
  // No mark. RFC 2781 says big-endian, but much mail (from Windows programs) is little-endian without one:
  // the zero bytes of the start decide, which are the high bytes of Latin text (the first byte of a unit
  // when big-endian, the last when little-endian); with no more of them at the end of units, big-endian.
  constexpr size_t kSample = 1024;
  size_t first = 0, last = 0;
  for (size_t i = 0; i + width <= std::min(bytes.size(), kSample); i += width) {
    first += bytes[i] == '\0';
    last += bytes[i + width - 1] == '\0';
  }
  return last <= first;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

std::string Utf16Be(std::string_view b) {
  return DecodeUtf16(b, ByteOrder::kBigEndian);
}
std::string Utf16Le(std::string_view b) {
  return DecodeUtf16(b, ByteOrder::kLittleEndian);
}
std::string Utf16Marked(std::string_view b) {
  return DecodeUtf16(b, ByteOrder::kByMark);
}
std::string Utf32Be(std::string_view b) {
  return DecodeUtf32(b, ByteOrder::kBigEndian);
}
std::string Utf32Le(std::string_view b) {
  return DecodeUtf32(b, ByteOrder::kLittleEndian);
}
std::string Utf32Marked(std::string_view b) {
  return DecodeUtf32(b, ByteOrder::kByMark);
}

}  // namespace

std::string DecodeUtf16(std::string_view bytes, ByteOrder order) {
  bool big = BigEndian(bytes, order, 2);
  std::string out;
  out.reserve(bytes.size());
  Utf16Sink sink(out);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) sink.Put(Unit(bytes, i, 2, big));
  sink.Flush();
  if (bytes.size() % 2) fsutil::AppendUtf8(out, kReplacement);
  return out;
}

std::string DecodeUtf32(std::string_view bytes, ByteOrder order) {
  bool big = BigEndian(bytes, order, 4);
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i + 3 < bytes.size(); i += 4) {
    uint32_t v = Unit(bytes, i, 4, big);
    bool scalar = v <= 0x10FFFF && !IsHighSurrogate(v) && !IsLowSurrogate(v);
    fsutil::AppendUtf8(out, scalar ? v : kReplacement);
  }
  if (bytes.size() % 4) fsutil::AppendUtf8(out, kReplacement);
  return out;
}

std::string DecodeUtf7(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  Utf16Sink sink(out);
  for (size_t i = 0; i < bytes.size();) {
    char c = bytes[i++];
    if (static_cast<unsigned char>(c) >= 0x80) {
      sink.Put(kReplacement);
    } else if (c != '+') {
      sink.Put(static_cast<unsigned char>(c));
    } else if (i < bytes.size() && bytes[i] == '-') {
      sink.Put('+');
      ++i;
    } else {
      uint32_t bits = 0;
      int nbits = 0;
      for (int v; i < bytes.size() && (v = Base64Value(bytes[i])) >= 0; ++i) {
        bits = (bits << 6 | static_cast<uint32_t>(v)) & 0x3FFFFF;  // at most 16 + 6 bits matter
        nbits += 6;
        if (nbits >= 16) {
          nbits -= 16;
          sink.Put((bits >> nbits) & 0xFFFF);
        }
      }
      // Padding left over must be zero bits (RFC 2152: fewer than 6 of them, all zero).
      if (nbits >= 6 || (bits & ((1u << nbits) - 1)) != 0) sink.Put(kReplacement);
      if (i < bytes.size() && bytes[i] == '-') ++i;
    }
  }
  sink.Flush();
  return out;
}

UnicodeDecoder UnicodeFormDecoder(std::string_view charset) {
  if (charset == "utf-16" || charset == "utf16") return Utf16Marked;
  if (charset == "utf-16be") return Utf16Be;
  if (charset == "utf-16le") return Utf16Le;
  if (charset == "utf-32" || charset == "utf32") return Utf32Marked;
  if (charset == "utf-32be") return Utf32Be;
  if (charset == "utf-32le") return Utf32Le;
  if (charset == "utf-7" || charset == "utf7" || charset == "unicode-1-1-utf-7") return DecodeUtf7;
  return nullptr;
}

}  // namespace velmora::mime
