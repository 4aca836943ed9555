// Attachment file names: cleaning, Outlook's 8.3 form, extensions, made-up names.
#include "mime/file_names.h"

#include <glib.h>
#include <gtest/gtest.h>

namespace velmora::mime {
namespace {

TEST(SanitizeFileName, KeepsTheLastPathComponentAndReplacesIllegalCharacters) {
  EXPECT_EQ(SanitizeFileName("C:\\Users\\me\\notes.txt"), "notes.txt");
  EXPECT_EQ(SanitizeFileName("../../etc/passwd"), "passwd");
  EXPECT_EQ(SanitizeFileName("a<b>c:d\"e|f?g*h.txt"), "a_b_c_d_e_f_g_h.txt");
  EXPECT_EQ(SanitizeFileName("tab\there\x01.txt"), "tab_here_.txt");
  EXPECT_EQ(SanitizeFileName("  name.txt. . "), "name.txt");
  EXPECT_EQ(SanitizeFileName("R\xC3\xA9sum\xC3\xA9.pdf"), "R\xC3\xA9sum\xC3\xA9.pdf");
}

TEST(SanitizeFileName, NothingUsableGivesEmpty) {
  EXPECT_EQ(SanitizeFileName(""), "");
  EXPECT_EQ(SanitizeFileName("   "), "");
  EXPECT_EQ(SanitizeFileName("dir/"), "");
  EXPECT_EQ(SanitizeFileName("..."), "");
}

TEST(SanitizeFileName, InvalidUtf8BecomesValid) {
  std::string s = SanitizeFileName("bad\xFF.txt");
  EXPECT_TRUE(g_utf8_validate(s.data(), static_cast<gssize>(s.size()), nullptr));
  EXPECT_NE(s.find(".txt"), std::string::npos);
}

TEST(FileExtension, IncludesTheDot) {
  EXPECT_EQ(FileExtension("a.png"), ".png");
  EXPECT_EQ(FileExtension("archive.tar.gz"), ".gz");
  EXPECT_EQ(FileExtension("README"), "");
  EXPECT_EQ(FileExtension(".profile"), "");
  EXPECT_EQ(FileExtension("trailing."), "");
}

TEST(ShortFileName, MatchesOutlooksFormAndStaysUniquePerMessage) {
  ShortNames taken;
  EXPECT_EQ(ShortFileName("leah_thumper.jpg", taken), "leah_t~1.jpg");  // as Outlook stored it
  EXPECT_EQ(ShortFileName("leah_thumper2.jpg", taken), "leah_t~2.jpg");
  EXPECT_EQ(ShortFileName("attach.png", taken), "attach.png");    // already 8.3
  EXPECT_EQ(ShortFileName("ATTACH.PNG", taken), "ATTACH~1.PNG");  // same name in another case
  EXPECT_EQ(ShortFileName("Quarterly Report.pdf", taken), "Quarte~1.pdf");
  EXPECT_EQ(ShortFileName("page.html", taken), "page~1.htm");
  EXPECT_EQ(ShortFileName("\xE6\x8A\xA5\xE5\x91\x8A.doc", taken), "ATT~1.doc");  // nothing ASCII to keep
  EXPECT_EQ(ShortFileName("noext", taken), "noext");
}

TEST(ShortFileName, ManyCollisionsShortenTheStem) {
  ShortNames taken;
  std::string last;
  for (int i = 0; i < 120; ++i) last = ShortFileName("longfilename.txt", taken);
  EXPECT_EQ(last, "long~120.txt");  // "longfi" loses two characters to "~120"
  for (const auto& s : taken.taken) EXPECT_LE(s.find('.'), 8u) << s;
}

TEST(ShortFileName, ThousandsOfEqualNamesStayFastAndDistinct) {
  ShortNames names;
  std::set<std::string> seen;
  for (int i = 0; i < 20000; ++i) seen.insert(ShortFileName("report.pdf", names));
  EXPECT_EQ(seen.size(), 20000u);  // "report.pdf", then report~1.pdf ... r~19999.pdf
}

TEST(GeneratedFileName, FollowsTheTypeAndNumbers) {
  EXPECT_EQ(GeneratedFileName("text/plain", 1), "ATT00001.txt");
  EXPECT_EQ(GeneratedFileName("IMAGE/PNG", 2), "ATT00002.png");
  EXPECT_EQ(GeneratedFileName("application/x-whatever", 3), "ATT00003.dat");
  EXPECT_EQ(GeneratedFileName("application/ms-tnef", 4), "winmail.dat");
  EXPECT_EQ(GeneratedFileName("application/pkcs7-mime", 5), "smime.p7m");
  EXPECT_EQ(GeneratedFileName("message/rfc822", 6), "ATT00006.eml");
}

}  // namespace
}  // namespace velmora::mime
