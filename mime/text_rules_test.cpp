// The small text rules: subject prefixes, charsets and code pages, dates.
#include <glib.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "mime/addresses.h"
#include "mime/charset.h"
#include "mime/conversation.h"
#include "mime/dates.h"
#include "mime/encoded_words.h"
#include "mime/envelope.h"
#include "mime/own_address.h"
#include "mime/prop_tags.h"
#include "mime/subject.h"
#include "mime/test_support.h"

namespace velmora::mime {
namespace {

using testing::FileTime;

// --- Subject prefix ([MS-OXCMAIL] 2.2.3.2.6.1)

struct PrefixCase {
  const char* subject;
  const char* prefix;
  const char* normalized;
};

TEST(SubjectPrefix, FollowsTheOneToThreeCharacterRule) {
  const PrefixCase cases[] = {
      {"RE: Hi", "RE: ", "Hi"},
      {"Re:Hi", "Re: ", "Hi"},
      {"RE:  x", "RE: ", "x"},  // any number of blanks after the colon
      {"Fwd: a: b", "Fwd: ", "a: b"},
      {"RE: FW: x", "RE: ", "FW: x"},  // only one prefix
      {"AW: Antwort", "AW: ", "Antwort"},
      {"\xE5\x9B\x9E\xE5\xA4\x8D: \xE4\xBD\xA0",
       "\xE5\x9B\x9E\xE5\xA4\x8D: ", "\xE4\xBD\xA0"},  // 2 CJK chars
      {"Re[2]: x", "", "Re[2]: x"},                    // five characters
      {"1: x", "", "1: x"},                            // digits never start a prefix
      {"A B: x", "", "A B: x"},                        // nor blanks
      {": x", "", ": x"},                              // no characters before the colon
      {"Four: x", "", "Four: x"},
      {"RE:", "RE: ", ""},
      {"", "", ""},
      {"No prefix here", "", "No prefix here"},
  };
  for (const auto& c : cases) {
    SplitSubject s = SplitSubjectPrefix(c.subject);
    EXPECT_EQ(s.prefix, c.prefix) << c.subject;
    EXPECT_EQ(s.normalized, c.normalized) << c.subject;
  }
}

TEST(SubjectPrefix, InvalidUtf8IsLeftWhole) {
  SplitSubject s = SplitSubjectPrefix("\xFF\xFE: x");
  EXPECT_EQ(s.prefix, "");
  EXPECT_EQ(s.normalized, "\xFF\xFE: x");
}

// --- Charsets

TEST(CodePage, KnowsTheCharsetsMailUsesAndTheirAliases) {
  EXPECT_EQ(CodePageForCharset("us-ascii"), 20127);
  EXPECT_EQ(CodePageForCharset("UTF-8"), 65001);
  EXPECT_EQ(CodePageForCharset("ISO-8859-1"), 28591);
  EXPECT_EQ(CodePageForCharset("iso-2022-jp"), 50220);
  EXPECT_EQ(CodePageForCharset("KOI8-R"), 20866);
  EXPECT_EQ(CodePageForCharset("gb2312"), 936);
  EXPECT_EQ(CodePageForCharset("Shift_JIS"), 932);
  EXPECT_EQ(CodePageForCharset("windows-1252"), 1252);
  EXPECT_EQ(CodePageForCharset("latin1"), 28591);
  EXPECT_EQ(CodePageForCharset("x-unknown-charset"), 0);
  EXPECT_EQ(CodePageForCharset(""), 0);
}

TEST(ConvertToUtf8, DecodesStatefulAndSingleByteCharsets) {
  // ISO-2022-JP "日本" (ESC $ B ... ESC ( B), KOI8-R "Привет", windows-1252 with the euro sign at 0x80.
  EXPECT_EQ(ConvertToUtf8("\x1B$BF|K\\\x1B(B", "iso-2022-jp"), "\xE6\x97\xA5\xE6\x9C\xAC");
  EXPECT_EQ(ConvertToUtf8("\xF0\xD2\xC9\xD7\xC5\xD4", "koi8-r"),
            "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
  EXPECT_EQ(ConvertToUtf8("\x80 5", "windows-1252"), "\xE2\x82\xAC 5");
  EXPECT_EQ(ConvertToUtf8("\xD5\xC5", "gb2312"), "\xE5\xBC\xA0");  // 张
}

TEST(ConvertToUtf8, Iso2022JpReadsTheWindowsRows) {
  // NEC row 13 (①, №) and IBM extension row 89 (纊) as Windows maps them, JIS X 0208 and half-width katakana
  // around them as before; an unknown escape or a lone byte of a pair is marked, not dropped.
  EXPECT_EQ(ConvertToUtf8("\x1B$B2q5D-!-b\x1B(B agenda \x1B$By!\x1B(B", "ISO-2022-JP"), "会議①№ agenda 纊");
  EXPECT_EQ(ConvertToUtf8("\x1B(I1\x1B(B\x0E"
                          "2\x0Fx",
                          "iso-2022-jp"),
            "ｱｲx");
  EXPECT_EQ(ConvertToUtf8("a\x1B$Zb\x1B$B2", "iso-2022-jp"), "a\xEF\xBF\xBD$Zb\xEF\xBF\xBD");
}

TEST(ConvertToUtf8, UnmappableBytesBecomeReplacementCharactersNotGaps) {
  // 0xFF is not valid in Shift_JIS lead position; the text around it survives.
  std::string out = ConvertToUtf8(
      "ab\xFF"
      "cd",
      "shift_jis");
  EXPECT_EQ(out,
            "ab\xEF\xBF\xBD"
            "cd");
  // A multi-byte sequence cut off at the end.
  EXPECT_EQ(ConvertToUtf8("x\x82", "shift_jis"), "x\xEF\xBF\xBD");
}

TEST(ConvertToUtf8, UnknownOrMissingCharsetFallsBackSensibly) {
  EXPECT_EQ(ConvertToUtf8("caf\xC3\xA9", "x-no-such-charset"), "caf\xC3\xA9");  // valid UTF-8 kept
  EXPECT_EQ(ConvertToUtf8("caf\xE9", ""), "caf\xC3\xA9");                       // else windows-1252
  EXPECT_EQ(ConvertToUtf8("caf\xE9", "us-ascii"), "caf\xC3\xA9");               // 8-bit in "ASCII"
}

TEST(DecodeUndeclared, PrefersUtf8ThenWindows1252) {
  EXPECT_EQ(DecodeUndeclared("Gr\xC3\xBC\xC3\x9F"
                             "e"),
            "Gr\xC3\xBC\xC3\x9F"
            "e");
  EXPECT_EQ(DecodeUndeclared("Gr\xFC\xDF"
                             "e"),
            "Gr\xC3\xBC\xC3\x9F"
            "e");
  EXPECT_EQ(DecodeUndeclared("\x93quoted\x94"), "\xE2\x80\x9Cquoted\xE2\x80\x9D");
  EXPECT_EQ(DecodeUndeclared(""), "");
}

// --- Encoded words (RFC 2047)

TEST(EncodedWords, CharacterSplitAcrossAdjacentWordsIsJoined) {
  // "扣繳" in UTF-8 with the second character's bytes cut between two words, and Shift_JIS "その他" cut after
  // a lead byte: each word alone is invalid, together they are text.
  EXPECT_EQ(DecodeHeaderText("=?UTF-8?B?5omj5w==?=\r\n =?UTF-8?B?ubM=?="), "\xE6\x89\xA3\xE7\xB9\xB3");
  EXPECT_EQ(DecodeHeaderText("=?shift_jis?B?grs=?= =?shift_jis?B?gsyR?= =?shift_jis?B?vA==?="),
            "\xE3\x81\x9D\xE3\x81\xAE\xE4\xBB\x96");
}

TEST(EncodedWords, BlanksBetweenWordsGoTextAroundThemStays) {
  EXPECT_EQ(DecodeHeaderText("=?utf-8?q?a?= =?utf-8?q?b?="), "ab");
  EXPECT_EQ(DecodeHeaderText("=?utf-8?q?a?=\r\n\t=?iso-8859-1?q?=E9?="), "a\xC3\xA9");
  EXPECT_EQ(DecodeHeaderText("x =?utf-8?q?a?= y"), "x a y");
  EXPECT_EQ(DecodeHeaderText("Re:=?utf-8?q?caf=C3=A9?=!"), "Re:caf\xC3\xA9!");  // glued to text
  EXPECT_EQ(DecodeHeaderText("=?utf-8?q?Andr=C3=A9_?= Pirard"), "Andr\xC3\xA9  Pirard");
}

TEST(EncodedWords, LenientAboutCharsetSpellingAndEncodingErrors) {
  EXPECT_EQ(DecodeHeaderText("=?koi8_r?b?8NLJ18XU?="), "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
  EXPECT_EQ(DecodeHeaderText("=?UTF-8*en?Q?hi?="), "hi");             // RFC 2231 language
  EXPECT_EQ(DecodeHeaderText("=?utf-8?b?w6k?="), "\xC3\xA9");         // padding missing
  EXPECT_EQ(DecodeHeaderText("=?iso-8859-1?q?a b?="), "a b");         // raw blank inside Q
  EXPECT_EQ(DecodeHeaderText("=?utf-8?x?abc?="), "=?utf-8?x?abc?=");  // no such encoding: text
  EXPECT_EQ(DecodeHeaderText("=?utf-8?q?never closed"), "=?utf-8?q?never closed");
  EXPECT_EQ(DecodeHeaderText("caf\xE9 =?utf-8?q?ok?="), "caf\xC3\xA9 ok");  // 8-bit text beside a word
  EXPECT_EQ(NormalizeCharsetName("Shift_JIS"), "shift_jis");  // '_' kept where iconv knows the name
  EXPECT_EQ(NormalizeCharsetName("KOI8_R"), "koi8-r");
}

// --- Dates

TEST(MailDate, ConvertsToUtcKeepingSeconds) {
  EXPECT_EQ(ParseMailDate("Mon, 15 Mar 2010 10:12:05 -0700"), FileTime(2010, 3, 15, 17, 12, 5));
  EXPECT_EQ(ParseMailDate("15 Mar 2010 10:12:05 +0000"), FileTime(2010, 3, 15, 10, 12, 5));  // no weekday
  EXPECT_EQ(ParseMailDate("Tue, 2 Jan 2024 09:58:30 +0100"), FileTime(2024, 1, 2, 8, 58, 30));
}

TEST(MailDate, ReadsObsoleteZonesLeniently) {
  EXPECT_EQ(ParseMailDate("Mon, 15 Mar 2010 10:12:05 EST"), FileTime(2010, 3, 15, 15, 12, 5));
  EXPECT_EQ(ParseMailDate("Mon, 15 Mar 2010 10:12:05 GMT"), FileTime(2010, 3, 15, 10, 12, 5));
  EXPECT_EQ(ParseMailDate("Mon, 15 Mar 2010 10:12 +0000"), FileTime(2010, 3, 15, 10, 12, 0));  // no seconds
}

TEST(MailDate, RejectsWhatCannotBeADate) {
  EXPECT_FALSE(ParseMailDate(""));
  EXPECT_FALSE(ParseMailDate("   "));
  EXPECT_FALSE(ParseMailDate("not a date at all"));
  EXPECT_FALSE(ParseMailDate("Mon, 45 Foo 20x0 99:99:99"));
  // The epoch written for a missing date, in any zone, and dates before FILETIME begins.
  EXPECT_FALSE(ParseMailDate("Thu, 01 Jan 1970 00:00:00 +0000"));
  EXPECT_FALSE(ParseMailDate("Thu, 01 Jan 1970 09:30:00 +0100"));
  EXPECT_FALSE(ParseMailDate("Wed, 31 Dec 1969 19:00:00 -0500"));
  EXPECT_FALSE(ParseMailDate("Mon, 01 Mar 1500 12:00:00 +0000"));
  EXPECT_TRUE(ParseMailDate("Fri, 02 Jan 1970 00:00:00 +0000"));
}

TEST(MailDate, TheUsualShapeReadsAsGMimeReadsIt) {
  // Dates of the usual shape are read without GMime; over random fields (leap days, zones either side,
  // blanks, the epoch, the first and last valid days) both readings must agree.
  std::mt19937 rng(11);
  const char* kDays[] = {"Mon, ", "Sun,  ", "", "\tThu,"};
  const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int i = 0; i < 3000; ++i) {
    const int year = i % 50 == 0 ? 1970 : i % 97 == 0 ? 1601 : 1900 + static_cast<int>(rng() % 200);
    char text[96];
    std::snprintf(text, sizeof text, " %s%u %s %04d %02u:%02u:%02u %c%02u%02u%s", kDays[rng() % 4],
                  1 + static_cast<unsigned>(rng() % 31), kMonths[rng() % 12], year,
                  static_cast<unsigned>(rng() % 24), static_cast<unsigned>(rng() % 60),
                  static_cast<unsigned>(rng() % 60), rng() % 2 ? '+' : '-', static_cast<unsigned>(rng() % 15),
                  static_cast<unsigned>(rng() % 4 * 15), rng() % 3 ? "" : " \r\n");
    EXPECT_EQ(ParseMailDate(text), ParseMailDateWithGMime(text)) << text;
  }
}

TEST(ReceivedDate, IsTheStampAfterTheLastSemicolon) {
  EXPECT_EQ(ParseReceivedDate("from a by b with ESMTP id 42; Tue, 02 Jan 2024 10:00:07 +0100"),
            FileTime(2024, 1, 2, 9, 0, 7));
  EXPECT_EQ(ParseReceivedDate("from a (x; y) by b; Tue, 02 Jan 2024 10:00:07 +0000"),
            FileTime(2024, 1, 2, 10, 0, 7));
  EXPECT_FALSE(ParseReceivedDate("from a by b without a date"));
}

// --- Conversation index ([MS-OXOMSG] 2.2.1.3)

TEST(ConversationIndex, DerivedHeaderMatchesOutlooksLayout) {
  // Outlook's sample: FILETIME 0x01CAC46294EB.... gave the header bytes 01 CA C4 62 94 EB.
  auto idx = DerivedConversationIndex(0x01CAC46294EB1234ULL, "Topic");
  ASSERT_EQ(idx.size(), 22u);
  EXPECT_EQ(std::vector<uint8_t>(idx.begin(), idx.begin() + 6),
            (std::vector<uint8_t>{0x01, 0xCA, 0xC4, 0x62, 0x94, 0xEB}));
  // The same topic (in any case) threads together; another topic does not.
  auto same = DerivedConversationIndex(0x01CAC46294EB1234ULL, "TOPIC");
  auto other = DerivedConversationIndex(0x01CAC46294EB1234ULL, "Other");
  EXPECT_EQ(std::vector<uint8_t>(idx.begin() + 6, idx.end()),
            std::vector<uint8_t>(same.begin() + 6, same.end()));
  EXPECT_NE(std::vector<uint8_t>(idx.begin() + 6, idx.end()),
            std::vector<uint8_t>(other.begin() + 6, other.end()));
}

// --- Conversation ID ([MS-OXOMSG] 2.2.1.2) and the mailbox's own address

std::vector<uint8_t> Md5OfUtf16(const std::u16string& text) {
  GChecksum* md5 = g_checksum_new(G_CHECKSUM_MD5);
  g_checksum_update(md5, reinterpret_cast<const guchar*>(text.data()), static_cast<gssize>(text.size() * 2));
  std::vector<uint8_t> out(16);
  gsize n = out.size();
  g_checksum_get_digest(md5, out.data(), &n);
  g_checksum_free(md5);
  return out;
}

std::vector<uint8_t> IdOf(const pst::PropertyMap& props) {
  auto id = ConversationIdOf(props);
  return id ? std::vector<uint8_t>(id->begin(), id->end()) : std::vector<uint8_t>();
}

TEST(ConversationId, TrackedIndexGivesItsGuidElseTheTopicsHash) {
  pst::PropertyMap p;
  EXPECT_TRUE(IdOf(p).empty());  // neither an index nor a topic
  p[tag::kConversationTopic] = pst::PropValue::String("quarterly figures, i\xC3\xA4");
  EXPECT_EQ(IdOf(p), Md5OfUtf16(u"QUARTERLY FIGURES, I\u00C4"));
  std::vector<uint8_t> index(27, 0);
  index[0] = 0x01;
  for (size_t i = 6; i < 22; ++i) index[i] = static_cast<uint8_t>(i);
  p[tag::kConversationIndex] = pst::PropValue::Binary(index);
  EXPECT_EQ(IdOf(p), Md5OfUtf16(u"QUARTERLY FIGURES, I\u00C4"));  // the index counts only when tracked
  p[tag::kConversationIndexTracking] = pst::PropValue::Bool(true);
  EXPECT_EQ(IdOf(p), std::vector<uint8_t>(index.begin() + 6, index.begin() + 22));
  index[0] = 0x02;  // not an index of the known layout: the topic again
  p[tag::kConversationIndex] = pst::PropValue::Binary(index);
  EXPECT_EQ(IdOf(p), Md5OfUtf16(u"QUARTERLY FIGURES, I\u00C4"));
  // Only the first 255 characters count.
  p[tag::kConversationTopic] = pst::PropValue::String(std::string(300, 'a'));
  EXPECT_EQ(IdOf(p), Md5OfUtf16(std::u16string(255, u'A')));
}

TEST(OwnAddress, ComesFromTheMailboxNameAndMarksToAndCc) {
  EXPECT_EQ(OwnAddressIn("ann@example.org : Created - 2024-01-02 10-00"), "ann@example.org");
  EXPECT_EQ(OwnAddressIn("Ann (ann@example.org)"), "ann@example.org");
  EXPECT_EQ(OwnAddressIn("Messages"), "");
  pst::MessageContent m;
  auto add = [&](const char* address, int32_t type) {
    pst::RecipientContent r;
    r.brief = {"", address, type, 0, &RecipientRowOf};
    m.recipients.push_back(std::move(r));
  };
  add("bob@example.org", 1);
  add("ANN@Example.org", 2);
  SetToMeFlags("ann@example.org", m);
  EXPECT_EQ(testing::Bool(m.props, tag::kMessageToMe), false);
  EXPECT_EQ(testing::Bool(m.props, tag::kMessageCcMe), true);
  SetToMeFlags("", m);  // no address known: the flags stay as they were
  EXPECT_EQ(testing::Bool(m.props, tag::kMessageCcMe), true);
}

}  // namespace
}  // namespace velmora::mime
