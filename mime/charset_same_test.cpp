// Charset decisions that must come out the same whichever iconv the program runs on (glibc on Linux,
// Windows' code pages on Windows): this binary runs on both.
#include <gtest/gtest.h>

#include <string>

#include "mime/charset.h"
#include "mime/header_params.h"

namespace velmora::mime {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

TEST(SameTextEverywhere, Utf16ByteOrder) {
  // No mark: the zeros tell the order; without any, big-endian.
  EXPECT_EQ(ConvertToUtf8(std::string("\0A\0b", 4), "utf-16"), "Ab");
  EXPECT_EQ(ConvertToUtf8(std::string("A\0b\0", 4), "utf-16"), "Ab");
  EXPECT_EQ(ConvertToUtf8("\x65\xE5\x67\x2C", "utf-16"), "\xE6\x97\xA5\xE6\x9C\xAC");  // 日本
  EXPECT_EQ(ConvertToUtf8(std::string("\xFF\xFE"
                                      "A\0",
                                      4),
                          "UTF-16"),
            "A");  // mark: little-endian
  EXPECT_EQ(ConvertToUtf8(std::string("\xFE\xFF\0A", 4), "utf-16"), "A");
  EXPECT_EQ(ConvertToUtf8(std::string("\xFF\xFE"
                                      "A\0",
                                      4),
                          "utf-16le"),
            "\xEF\xBB\xBF"
            "A");  // text, not a mark
  EXPECT_EQ(ConvertToUtf8(std::string("\x3D\xD8\x00\xDE", 4), "utf-16le"), "\xF0\x9F\x98\x80");  // 😀
  // A lone surrogate and a cut-off unit are one U+FFFD each; reading stays in step.
  EXPECT_EQ(ConvertToUtf8(std::string("\x00\xDE"
                                      "A\0"
                                      "B",
                                      5),
                          "utf-16le"),
            kFffd + "A" + kFffd);
  EXPECT_EQ(ConvertToUtf8(std::string("\0\0\0A\0\0\xD8\0", 8), "utf-32"), "A" + kFffd);
  // A body labelled wrongly is recognised by its zeros, in the order they show.
  EXPECT_EQ(DecodeBodyText(std::string("\0H\0i", 4), "us-ascii"), "Hi");
  EXPECT_EQ(DecodeBodyText(std::string("H\0i\0", 4), "iso-8859-1"), "Hi");
}

TEST(SameTextEverywhere, Utf7) {
  EXPECT_EQ(ConvertToUtf8("Fr+APY-sche +- 1+-1", "utf-7"), "Fr\xC3\xB6sche + 1+1");
  EXPECT_EQ(ConvertToUtf8("+2D3eAA-.", "UTF-7"), "\xF0\x9F\x98\x80.");     // a surrogate pair
  EXPECT_EQ(ConvertToUtf8("a+AOQ", "utf-7"), "a\xC3\xA4");                 // ends with the text
  EXPECT_EQ(ConvertToUtf8("a+AOR.", "utf-7"), "a\xC3\xA4" + kFffd + ".");  // leftover bits not zero
  EXPECT_EQ(ConvertToUtf8("\xE9", "utf-7"), kFffd);
}

TEST(SameTextEverywhere, WindowsCodePageHoles) {
  // Bytes a Windows code page leaves undefined are U+FFFD, not the C1 control Windows reads them as.
  EXPECT_EQ(ConvertToUtf8("\x80\x81\x9D", "windows-1252"), "\xE2\x82\xAC" + kFffd + kFffd);
  EXPECT_EQ(ConvertToUtf8("\x98", "windows-1251"), kFffd);
  EXPECT_EQ(DecodeUndeclared("a\x8D"), "a" + kFffd);
  EXPECT_EQ(ConvertToUtf8("\x85", "iso-8859-1"), "\xC2\x85");  // ISO 8859 keeps its C1 controls
  // Our own tables where Windows has no code page or another mapping.
  EXPECT_EQ(ConvertToUtf8("\xA4", "iso-8859-7"), "\xE2\x82\xAC");
  EXPECT_EQ(ConvertToUtf8("\xA1\x80", "tis-620"), "\xE0\xB8\x81" + kFffd);
}

TEST(SameTextEverywhere, Gb18030Family) {
  const std::string reply = "\xE5\x9B\x9E\xE5\xA4\x8D";  // 回复
  EXPECT_EQ(ConvertToUtf8("\xBB\xD8\xB8\xB4", "gb18030"), reply);
  EXPECT_EQ(ConvertToUtf8("\xBB\xD8\xB8\xB4", "GB2312"), reply);
  EXPECT_EQ(ConvertToUtf8("\x95\x32\x82\x36", "gb18030"), "\xF0\xA0\x80\x80");  // U+20000, four bytes
  EXPECT_EQ(ConvertToUtf8("\xA6\xD9", "gbk"), "\xEF\xB8\x90");                  // U+FE10, not private use
  EXPECT_EQ(ConvertToUtf8("\xAA\xA1", "gbk"), "\xEE\x80\x80");                  // user-defined: U+E000
  // In GB18030 0x80 and 0xFF start nothing; a lead byte whose next byte is no trail is one U+FFFD.
  EXPECT_EQ(ConvertToUtf8(std::string("\x80\x81 \xFF"), "gb18030"), kFffd + kFffd + " " + kFffd);
  EXPECT_EQ(ConvertToUtf8("\x80", "gbk"), "\xE2\x82\xAC");  // code page 936's euro sign
}

TEST(SameTextEverywhere, DoubleByteCharsetsAsWindowsReadsThem) {
  EXPECT_EQ(ConvertToUtf8("\x82\xA0\xB1", "shift_jis"), "\xE3\x81\x82\xEF\xBD\xB1");  // あ, half-width ｱ
  EXPECT_EQ(ConvertToUtf8("\x81\x60", "Shift_JIS"), "\xEF\xBD\x9E");  // code page 932's wave dash, U+FF5E
  EXPECT_EQ(ConvertToUtf8("\xA4\xA4", "big5"), "\xE4\xB8\xAD");       // 中
  EXPECT_EQ(ConvertToUtf8("\xB0\xA1\x81\x41", "ks_c_5601-1987"), "\xEA\xB0\x80\xEA\xB0\x82");  // 가, 갂
  // EUC-JP through its Shift_JIS form: rows odd and even, cells on both sides of 64, NEC's row 13, katakana.
  EXPECT_EQ(ConvertToUtf8("\xC6\xFC\xCB\xDC\xB1\xE0\xAD\xA1\x8E\xB1", "euc-jp"),
            "\xE6\x97\xA5\xE6\x9C\xAC\xE5\x9C\x92\xE2\x91\xA0\xEF\xBD\xB1");             // 日本園①ｱ
  EXPECT_EQ(ConvertToUtf8("\x1B$)C\x0E\x30\x21\x0F!", "iso-2022-kr"), "\xEA\xB0\x80!");  // 가!
  // User-defined characters (private use on Windows, refused by glibc) are one U+FFFD each, trail included.
  EXPECT_EQ(ConvertToUtf8("\xF0\x40|\x80", "cp932"), kFffd + "|" + kFffd);
  EXPECT_EQ(ConvertToUtf8("\x81\x40|\xFE\xFE", "big5"), kFffd + "|" + kFffd);
  EXPECT_EQ(ConvertToUtf8("\xC9\xA1|\x80", "euc-kr"), kFffd + "|" + kFffd);
  // A code refused after being taken in whole (glibc's CP949 on A2 E8) loses nothing after it.
  EXPECT_EQ(ConvertToUtf8(std::string("\xA2\xE8") + "A", "cp949"), kFffd + "A");
}

TEST(SameTextEverywhere, HeaderParametersDecodedByTheProgram) {
  EXPECT_EQ(HeaderParameter("attachment; FILENAME*=gb18030'zh'%BB%D8%B8%B4.txt", "filename"),
            "\xE5\x9B\x9E\xE5\xA4\x8D.txt");
  // Continuations, encoded and plain, joined before conversion (a character may straddle two).
  EXPECT_EQ(HeaderParameter("attachment;\r\n filename*0*=utf-8''Gr%C3;\r\n filename*1*=%BC%C3%9Fe;\r\n"
                            " filename*2=\".txt\"",
                            "filename"),
            "Gr\xC3\xBC\xC3\x9F"
            "e.txt");
  EXPECT_EQ(HeaderParameter("application/pdf; name=\"=?utf-7?Q?Fr+APY-sche?= \\\"1\\\".pdf\"", "name"),
            "Fr\xC3\xB6sche \"1\".pdf");
  EXPECT_EQ(HeaderParameter("attachment; name=a.txt", "filename"), std::nullopt);
}

}  // namespace
}  // namespace velmora::mime
