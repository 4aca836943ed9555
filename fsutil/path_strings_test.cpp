#include "fsutil/path_strings.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora::fsutil {
namespace {

constexpr char kBackslash = '\\';

TEST(SearchPath, KindAndFolderOfWindowsSearchPaths) {
  struct Case {
    const char* search_path;
    PathKind kind;
    const char* folder;
  };
  const Case cases[] = {
      {R"(C:\Mail\*)", PathKind::Local, R"(C:\Mail\)"},
      {R"(\\srv\share\*)", PathKind::Unc, R"(\\srv\share\)"},
      {R"(\\srv)", PathKind::Unc, ""},
      {R"(\\srv\x)", PathKind::Unc, R"(\\srv\)"},
      {R"(C:\Mail\)", PathKind::Local, R"(C:\)"},  // the final separator is not looked at
      {"name", PathKind::Local, ""},
      {"\\", PathKind::Local, ""},
      {"", PathKind::Local, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifySearchPath(c.search_path, kBackslash), c.kind) << c.search_path;
    EXPECT_EQ(SearchFolder(c.search_path, c.kind, kBackslash), c.folder) << c.search_path;
  }
}

TEST(SearchPath, FtpIsRecognisedWithoutRegardToCaseAndSplitsAtSlash) {
  EXPECT_EQ(ClassifySearchPath("ftp://host/a/*", kBackslash), PathKind::Ftp);
  EXPECT_EQ(ClassifySearchPath("FTP://host", kBackslash), PathKind::Ftp);
  EXPECT_EQ(ClassifySearchPath("Ftp://host", '/'), PathKind::Ftp);
  EXPECT_EQ(ClassifySearchPath("ftp:/host", kBackslash), PathKind::Local);
  EXPECT_EQ(SearchFolder("ftp://host/a/b", PathKind::Ftp, kBackslash), "ftp://host/a/");
}

TEST(SearchPath, PosixSearchPathsUseSlash) {
  EXPECT_EQ(ClassifySearchPath("/tmp/mail/*"), PathKind::Local);
  EXPECT_EQ(SearchFolder("/tmp/mail/*", PathKind::Local), "/tmp/mail/");
  EXPECT_EQ(SearchFolder("/*", PathKind::Local), "/");
  EXPECT_EQ(ClassifySearchPath("//srv/share/*"), PathKind::Unc);
  EXPECT_EQ(SearchFolder("//srv", PathKind::Unc), "");
  EXPECT_EQ(SearchFolder(R"(C:\Mail\*)", PathKind::Local), "");  // "\" is no separator on POSIX
}

TEST(NameParts, ExtensionIsAfterTheLastDot) {
  EXPECT_EQ(NameExtension("file.tar.gz"), "gz");
  EXPECT_EQ(NameExtension(".profile"), "profile");
  EXPECT_EQ(NameExtension("noext"), "");
  EXPECT_EQ(NameExtension("trailing."), "");
  EXPECT_EQ(NameExtension(""), "");
}

TEST(NameParts, NameFromFullPathIgnoresATrailingSeparator) {
  EXPECT_EQ(NameFromFullPath(R"(C:\Mail\Inbox\)", kBackslash), "Inbox");
  EXPECT_EQ(NameFromFullPath(R"(C:\Mail\a.eml)", kBackslash), "a.eml");
  EXPECT_EQ(NameFromFullPath("name", kBackslash), "name");
  EXPECT_EQ(NameFromFullPath("/tmp/x/"), "x");
  EXPECT_EQ(NameFromFullPath(""), "");
}

TEST(LongPath, DriveAndNetworkPathsGetTheirPrefixes) {
  EXPECT_EQ(LongPathForm(R"(C:\Mail)"), std::u16string(u"\\\\?\\C:\\Mail") + u'\0');
  EXPECT_EQ(LongPathForm(R"(\\server\share\folder)"),
            std::u16string(u"\\\\?\\UNC\\server\\share\\folder") + u'\0');
  // Relative paths and "/" separators are taken as they are.
  EXPECT_EQ(LongPathForm("relative/x"), std::u16string(u"\\\\?\\relative/x") + u'\0');
  EXPECT_EQ(LongPathForm(""), std::u16string(u"\\\\?\\") + u'\0');
}

TEST(LongPath, KeepsLongAndNonAsciiPathsWhole) {
  const std::string long_path = R"(C:\)" + std::string(300, 'x');
  const std::u16string form = LongPathForm(long_path);
  ASSERT_EQ(form.size(), 4 + long_path.size() + 1);
  EXPECT_EQ(form.back(), u'\0');
  EXPECT_EQ(LongPathForm("C:\\M\xC3\xBCll"), std::u16string(u"\\\\?\\C:\\M\u00FCll") + u'\0');
}

TEST(Trims, TrimAtNulAndTrimBlanks) {
  EXPECT_EQ(TrimAtNul(std::string("abc\0def", 7)), "abc");
  EXPECT_EQ(TrimAtNul("abc"), "abc");
  EXPECT_EQ(TrimAtNul(std::string("\0x", 2)), "");
  EXPECT_EQ(TrimBlanks("  a b  "), "a b");
  EXPECT_EQ(TrimBlanks("   "), "");
  EXPECT_EQ(TrimBlanks("\t a"), "\t a");  // only spaces are blanks
}

}  // namespace
}  // namespace velmora::fsutil
