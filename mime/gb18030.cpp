#include "mime/gb18030.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>

#include "fsutil/utf8.h"
#include "mime/iconv_text.h"

namespace velmora::mime {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

// Two-byte codes that code page 936 (and GB18030 before its 2022 edition) gives private-use code points
// while GB18030-2022 gives them characters (and A2E3, the euro sign, since 2005): the private-use code
// point and the character.
constexpr std::pair<char32_t, char32_t> kPrivateUseToCharacter[] = {
    {0xE76C, 0x020AC}, {0xE78D, 0x0FE10}, {0xE78E, 0x0FE12}, {0xE78F, 0x0FE11}, {0xE790, 0x0FE13},
    {0xE791, 0x0FE14}, {0xE792, 0x0FE15}, {0xE793, 0x0FE16}, {0xE794, 0x0FE17}, {0xE795, 0x0FE18},
    {0xE796, 0x0FE19}, {0xE7C7, 0x01E3F}, {0xE7C8, 0x001F9}, {0xE7E7, 0x0303E}, {0xE7E8, 0x02FF0},
    {0xE7E9, 0x02FF1}, {0xE7EA, 0x02FF2}, {0xE7EB, 0x02FF3}, {0xE7EC, 0x02FF4}, {0xE7ED, 0x02FF5},
    {0xE7EE, 0x02FF6}, {0xE7EF, 0x02FF7}, {0xE7F0, 0x02FF8}, {0xE7F1, 0x02FF9}, {0xE7F2, 0x02FFA},
    {0xE7F3, 0x02FFB}, {0xE815, 0x02E81}, {0xE816, 0x20087}, {0xE817, 0x20089}, {0xE818, 0x200CC},
    {0xE819, 0x02E84}, {0xE81A, 0x03473}, {0xE81B, 0x03447}, {0xE81C, 0x02E88}, {0xE81D, 0x02E8B},
    {0xE81E, 0x09FB4}, {0xE81F, 0x0359E}, {0xE820, 0x0361A}, {0xE821, 0x0360E}, {0xE822, 0x02E8C},
    {0xE823, 0x02E97}, {0xE824, 0x0396E}, {0xE825, 0x03918}, {0xE826, 0x09FB5}, {0xE827, 0x039CF},
    {0xE828, 0x039DF}, {0xE829, 0x03A73}, {0xE82A, 0x039D0}, {0xE82B, 0x09FB6}, {0xE82C, 0x09FB7},
    {0xE82D, 0x03B4E}, {0xE82E, 0x03C6E}, {0xE82F, 0x03CE0}, {0xE830, 0x02EA7}, {0xE831, 0x215D7},
    {0xE832, 0x09FB8}, {0xE833, 0x02EAA}, {0xE834, 0x04056}, {0xE835, 0x0415F}, {0xE836, 0x02EAE},
    {0xE837, 0x04337}, {0xE838, 0x02EB3}, {0xE839, 0x02EB6}, {0xE83A, 0x02EB7}, {0xE83B, 0x2298F},
    {0xE83C, 0x043B1}, {0xE83D, 0x043AC}, {0xE83E, 0x02EBB}, {0xE83F, 0x043DD}, {0xE840, 0x044D6},
    {0xE841, 0x04661}, {0xE842, 0x0464C}, {0xE843, 0x09FB9}, {0xE844, 0x04723}, {0xE845, 0x04729},
    {0xE846, 0x0477C}, {0xE847, 0x0478D}, {0xE848, 0x02ECA}, {0xE849, 0x04947}, {0xE84A, 0x0497A},
    {0xE84B, 0x0497D}, {0xE84C, 0x04982}, {0xE84D, 0x04983}, {0xE84E, 0x04985}, {0xE84F, 0x04986},
    {0xE850, 0x0499F}, {0xE851, 0x0499B}, {0xE852, 0x049B7}, {0xE853, 0x049B6}, {0xE854, 0x09FBA},
    {0xE855, 0x241FE}, {0xE856, 0x04CA3}, {0xE857, 0x04C9F}, {0xE858, 0x04CA0}, {0xE859, 0x04CA1},
    {0xE85A, 0x04C77}, {0xE85B, 0x04CA2}, {0xE85C, 0x04D13}, {0xE85D, 0x04D14}, {0xE85E, 0x04D15},
    {0xE85F, 0x04D16}, {0xE860, 0x04D17}, {0xE861, 0x04D18}, {0xE862, 0x04D19}, {0xE863, 0x04DAE},
    {0xE864, 0x09FBB},
};

bool IsLead(unsigned char b) {
  return b >= 0x81 && b <= 0xFE;
}
bool IsDigit(unsigned char b) {
  return b >= 0x30 && b <= 0x39;
}
bool IsTrail(unsigned char b) {
  return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

// The charset iconv converts GB18030's one- and two-byte codes with: GB18030 itself where iconv has it
// (glibc; code page 54936 on Windows), else code page 936, whose two-byte codes are the same apart from
// the private-use ones above.
const char* GbIconvName() {
  static const char* name = [] {
    for (const char* n : {"GB18030", "CP54936", "CP936"}) {
      if (IconvToUtf8("", n)) return n;
    }
    return static_cast<const char*>(nullptr);
  }();
  return name;
}

// A run of one- and two-byte codes.
void AppendRun(std::string& out, std::string_view run) {
  if (run.empty()) return;
  const char* name = GbIconvName();
  std::optional<std::string> text = name ? IconvToUtf8(run, name) : std::nullopt;
  if (!text) {
    for (size_t i = 0; i < run.size(); i += static_cast<unsigned char>(run[i]) < 0x80 ? 1 : 2) {
      if (static_cast<unsigned char>(run[i]) < 0x80) {
        out += run[i];
      } else {
        out += kReplacement;
      }
    }
    return;
  }
  std::u32string code_points = fsutil::DecodeUtf8Lossless(*text);
  for (char32_t c : code_points) {
    if (c >= 0xE000 && c <= 0xF8FF) {
      auto it = std::lower_bound(std::begin(kPrivateUseToCharacter), std::end(kPrivateUseToCharacter),
                                 std::make_pair(c, char32_t{0}));
      if (it != std::end(kPrivateUseToCharacter) && it->first == c) c = it->second;
    }
    fsutil::AppendUtf8(out, c);
  }
}

// A four-byte code: its place in the linear order of all four-byte codes.
uint32_t FourByteIndex(const unsigned char* b) {
  return ((b[0] - 0x81u) * 10 + (b[1] - 0x30u)) * 1260 + (b[2] - 0x81u) * 10 + (b[3] - 0x30u);
}

void AppendFourByte(std::string& out, std::string_view code) {
  auto* b = reinterpret_cast<const unsigned char*>(code.data());
  constexpr uint32_t kSupplementaryStart = 0x90u - 0x81u;  // lead byte 0x90: U+10000
  if (b[0] >= 0x90) {
    uint32_t cp = 0x10000 + FourByteIndex(b) - kSupplementaryStart * 12600;
    if (cp <= 0x10FFFF) {
      fsutil::AppendUtf8(out, cp);
    } else {
      out += kReplacement;
    }
    return;
  }
  const char* name = GbIconvName();
  std::optional<std::string> text;
  if (name && std::string_view(name) != "CP936") text = IconvToUtf8(code, name);
  out += text ? *text : std::string(kReplacement);
}

}  // namespace

std::string DecodeGb18030(std::string_view bytes, bool euro_at_0x80) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  size_t run_start = 0;
  auto u = [&](size_t k) -> unsigned char {
    return k < bytes.size() ? static_cast<unsigned char>(bytes[k]) : static_cast<unsigned char>(0);
  };
  size_t i = 0;
  while (i < bytes.size()) {
    unsigned char b = u(i);
    if (b < 0x80) {
      ++i;
      continue;
    }
    if (IsLead(b) && IsTrail(u(i + 1))) {
      i += 2;
      continue;
    }
    AppendRun(out, bytes.substr(run_start, i - run_start));
    if (IsLead(b) && IsDigit(u(i + 1)) && IsLead(u(i + 2)) && IsDigit(u(i + 3))) {
      AppendFourByte(out, bytes.substr(i, 4));
      i += 4;
    } else {
      out += b == 0x80 && euro_at_0x80 ? "\xE2\x82\xAC" : kReplacement;
      ++i;
    }
    run_start = i;
  }
  AppendRun(out, bytes.substr(run_start));
  return out;
}

}  // namespace velmora::mime
