#include "fsutil/name_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fsutil/utf8.h"

namespace velmora::fsutil {
namespace {

TEST(Utf8, ValidTextDecodesAndInvalidBytesStandForThemselves) {
  EXPECT_EQ(DecodeUtf8Lossless("a\xC3\xA4"), (std::u32string{U'a', 0xE4}));
  EXPECT_EQ(DecodeUtf8Lossless("\xF0\x9F\x98\x80"), (std::u32string{0x1F600}));
  // Overlong "/", an encoded surrogate, a cut-off sequence and a stray continuation byte: byte by byte.
  EXPECT_EQ(DecodeUtf8Lossless("\xC0\xAF"), (std::u32string{0xDCC0, 0xDCAF}));
  EXPECT_EQ(DecodeUtf8Lossless("\xED\xA0\x80"), (std::u32string{0xDCED, 0xDCA0, 0xDC80}));
  EXPECT_EQ(DecodeUtf8Lossless("\xE2\x82"), (std::u32string{0xDCE2, 0xDC82}));
  EXPECT_EQ(DecodeUtf8Lossless("x\x80y"), (std::u32string{U'x', 0xDC80, U'y'}));
  EXPECT_EQ(ToUtf16(U"\U0001F600A"), (std::u16string{0xD83D, 0xDE00, u'A'}));
}

TEST(NameOrder, UpcasesTheBasicPlaneOnly) {
  EXPECT_EQ(UpcaseCodePoint(U'a'), U'A');
  EXPECT_EQ(UpcaseCodePoint(U'_'), U'_');
  EXPECT_EQ(UpcaseCodePoint(0xE4), 0xC4u);    // ä
  EXPECT_EQ(UpcaseCodePoint(0xF7), 0xF7u);    // ÷ has no case
  EXPECT_EQ(UpcaseCodePoint(0xDF), 0xDFu);    // ß has no single upper-case letter
  EXPECT_EQ(UpcaseCodePoint(0xFF), 0x178u);   // ÿ
  EXPECT_EQ(UpcaseCodePoint(0x101), 0x100u);  // ā (upper case on even code points)
  EXPECT_EQ(UpcaseCodePoint(0x100), 0x100u);
  EXPECT_EQ(UpcaseCodePoint(0x13A), 0x139u);  // ĺ (upper case on odd code points)
  EXPECT_EQ(UpcaseCodePoint(0x139), 0x139u);
  EXPECT_EQ(UpcaseCodePoint(0x3C2), 0x3A3u);      // final sigma
  EXPECT_EQ(UpcaseCodePoint(0x3C9), 0x3A9u);      // ω
  EXPECT_EQ(UpcaseCodePoint(0x44F), 0x42Fu);      // я
  EXPECT_EQ(UpcaseCodePoint(0x451), 0x401u);      // ё
  EXPECT_EQ(UpcaseCodePoint(0x2C30), 0x2C00u);    // Glagolitic, beyond the scripts a hand list would hold
  EXPECT_EQ(UpcaseCodePoint(0x10428), 0x10428u);  // Deseret: two code units, not upper-cased
}

TEST(NameOrder, SortsLikeNtfsCaseInsensitiveOrdinal) {
  std::vector<std::string> names = {"_x", "b.eml", "Z", "a1", "A.eml", "\xC3\xA9", "\xC3\xA4"};
  std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return NameLess(a, b); });
  // "." < "1" < letters < "_" once lower case is folded up; ä (C4) before é (C9).
  EXPECT_EQ(names, (std::vector<std::string>{"A.eml", "a1", "b.eml", "Z", "_x", "\xC3\xA4", "\xC3\xA9"}));
}

TEST(NameOrder, ComparesUtf16CodeUnitsNotCodePoints) {
  const std::string emoji = "\xF0\x9F\x98\x80";    // U+1F600, surrogates D83D DE00
  const std::string fullwidth_a = "\xEF\xBC\xA1";  // U+FF21
  const std::string not_utf8 = "\xFF";             // stands as U+DCFF
  EXPECT_TRUE(NameLess(emoji, fullwidth_a));
  EXPECT_TRUE(NameLess(emoji, not_utf8));
  EXPECT_TRUE(NameLess(not_utf8, fullwidth_a));
  EXPECT_TRUE(NameLess("\xC3\xA4", not_utf8));
}

TEST(NameOrder, NamesEqualButForCaseStillHaveAnOrder) {
  EXPECT_TRUE(NameLess("A", "a"));
  EXPECT_FALSE(NameLess("a", "A"));
  EXPECT_FALSE(NameLess("a", "a"));
  EXPECT_EQ(NameKey("inbox"), NameKey("INBOX"));
}

TEST(MatchesPattern, StarAndStarDotStarMatchEveryName) {
  for (const char* name : {"noext", "a.eml", ".", "..", ".profile", ""}) {
    EXPECT_TRUE(MatchesPattern(name, "*")) << name;
    EXPECT_TRUE(MatchesPattern(name, "*.*")) << name;
  }
}

TEST(MatchesPattern, OnlyTheLeadingStarOfThePatternIsAWildcard) {
  EXPECT_TRUE(MatchesPattern("MSG.EML", "*.eml"));
  EXPECT_TRUE(MatchesPattern(".eml", "*.eml"));
  EXPECT_FALSE(MatchesPattern("a.emlx", "*.eml"));
  EXPECT_TRUE(MatchesPattern("\xC3\x84rger.eml", "\xC3\xA4rger.EML"));  // Ärger, ärger
  EXPECT_TRUE(MatchesPattern("q?.eml", "*.eml"));
  EXPECT_FALSE(MatchesPattern("ab.txt", "?b.txt"));
  EXPECT_FALSE(MatchesPattern("aXb", "a*b"));
  EXPECT_TRUE(MatchesPattern("a*b", "A*B"));
}

}  // namespace
}  // namespace velmora::fsutil
