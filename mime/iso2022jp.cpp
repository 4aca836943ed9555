#include "mime/iso2022jp.h"

#include <cstdint>

#include "mime/charset.h"

namespace velmora::mime {

namespace {

enum class Set { kAscii, kJisX0208, kJisX0212, kKatakana };

// Text collected for one converter at a time, so that each run is converted in one call.
class Runs {
 public:
  void Add(const char* charset, std::string_view bytes) {
    if (charset != charset_) Flush();
    charset_ = charset;
    pending_ += bytes;
  }
  void Replacement() {
    Flush();
    out_ += "\xEF\xBF\xBD";
  }
  std::string Take() {
    Flush();
    return std::move(out_);
  }

 private:
  void Flush() {
    if (!pending_.empty()) out_ += ConvertToUtf8(pending_, charset_);
    pending_.clear();
  }
  const char* charset_ = "us-ascii";
  std::string pending_;
  std::string out_;
};

constexpr char kEucJp[] = "euc-jp";
constexpr char kCp932[] = "cp932";
constexpr char kAscii[] = "us-ascii";

// The Shift_JIS (CP932) bytes of a JIS X 0208 pair, rows 1..94.
std::string ShiftJisOf(uint8_t j1, uint8_t j2) {
  uint8_t s1 = static_cast<uint8_t>(((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0));
  uint8_t s2 = static_cast<uint8_t>(j2 + ((j1 & 1) ? (j2 >= 0x60 ? 0x20 : 0x1F) : 0x7E));
  return {static_cast<char>(s1), static_cast<char>(s2)};
}

// NEC row 13 and the IBM extension rows 89..92, which only CP932 maps.
bool IsWindowsRow(uint8_t j1) {
  return j1 == 0x2D || (j1 >= 0x79 && j1 <= 0x7C);
}

bool IsGraphic(uint8_t c) {
  return c >= 0x21 && c <= 0x7E;
}

}  // namespace

std::string DecodeIso2022Jp(std::string_view bytes) {
  Runs runs;
  Set set = Set::kAscii;
  Set before_shift_out = Set::kAscii;
  for (size_t i = 0; i < bytes.size();) {
    const auto c = static_cast<uint8_t>(bytes[i]);
    if (c == 0x1B) {
      std::string_view rest = bytes.substr(i + 1);
      struct Escape {
        std::string_view seq;
        Set set;
      };
      static constexpr Escape kEscapes[] = {
          {"(B", Set::kAscii},          {"(J", Set::kAscii},     {"(H", Set::kAscii},
          {"$B", Set::kJisX0208},       {"$@", Set::kJisX0208},  {"$(B", Set::kJisX0208},
          {"&@\x1B$B", Set::kJisX0208}, {"$(D", Set::kJisX0212}, {"(I", Set::kKatakana}};
      bool known = false;
      for (const Escape& e : kEscapes) {
        if (rest.substr(0, e.seq.size()) == e.seq) {
          set = e.set;
          i += 1 + e.seq.size();
          known = true;
          break;
        }
      }
      if (!known) {  // an escape of another ISO-2022 form: marked, and the text goes on
        runs.Replacement();
        ++i;
      }
      continue;
    }
    if (c == 0x0E) {  // SO: half-width katakana until SI
      if (set != Set::kKatakana) before_shift_out = set;
      set = Set::kKatakana;
      ++i;
      continue;
    }
    if (c == 0x0F) {
      set = before_shift_out;
      ++i;
      continue;
    }
    switch (set) {
      case Set::kAscii:
        if (c < 0x80)
          runs.Add(kAscii, bytes.substr(i, 1));
        else
          runs.Replacement();  // 8-bit bytes have no place in this charset
        ++i;
        break;
      case Set::kKatakana:
        if (c >= 0x21 && c <= 0x5F) {
          const char kana[] = {'\x8E', static_cast<char>(c | 0x80)};
          runs.Add(kEucJp, std::string_view(kana, 2));
        } else if (c < 0x80) {
          runs.Add(kAscii, bytes.substr(i, 1));
        } else {
          runs.Replacement();
        }
        ++i;
        break;
      case Set::kJisX0208:
      case Set::kJisX0212: {
        if (!IsGraphic(c)) {  // a blank or line end inside a two-byte run stands for itself
          if (c < 0x80)
            runs.Add(kAscii, bytes.substr(i, 1));
          else
            runs.Replacement();
          ++i;
          break;
        }
        if (i + 1 >= bytes.size() || !IsGraphic(static_cast<uint8_t>(bytes[i + 1]))) {
          runs.Replacement();  // half a pair
          ++i;
          break;
        }
        const auto c2 = static_cast<uint8_t>(bytes[i + 1]);
        if (set == Set::kJisX0208 && IsWindowsRow(c)) {
          runs.Add(kCp932, ShiftJisOf(c, c2));
        } else {
          std::string euc;
          if (set == Set::kJisX0212) euc += '\x8F';
          euc += static_cast<char>(c | 0x80);
          euc += static_cast<char>(c2 | 0x80);
          runs.Add(kEucJp, euc);
        }
        i += 2;
        break;
      }
    }
  }
  return runs.Take();
}

}  // namespace velmora::mime
