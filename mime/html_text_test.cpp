// HTML to plain text, and the Content-IDs an HTML body shows.
#include "mime/html_text.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora::mime {
namespace {

TEST(HtmlToText, BlocksEndLinesAndParagraphsLeaveOneEmptyLine) {
  EXPECT_EQ(HtmlToText("<p>One</p><p>Two</p>"), "One\r\n\r\nTwo");
  EXPECT_EQ(HtmlToText("<div>a</div><div>b</div>"), "a\r\nb");
  EXPECT_EQ(HtmlToText("line1<br>line2<BR/>line3"), "line1\r\nline2\r\nline3");
  EXPECT_EQ(HtmlToText("<ul><li>x</li><li>y</li></ul>"), "x\r\ny");
  EXPECT_EQ(HtmlToText("<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>"), "a b\r\nc");
}

TEST(HtmlToText, CollapsesBlanksExceptInPre) {
  EXPECT_EQ(HtmlToText("  a \n\t b   c  "), "a b c");
  EXPECT_EQ(HtmlToText("<pre>x  y\n  z</pre>"), "x  y\r\n  z");
}

TEST(HtmlToText, SkipsHeadScriptStyleAndComments) {
  EXPECT_EQ(HtmlToText("<html><head><title>T</title><style>p{}</style></head>"
                       "<body><script>var a = '<p>';</script>Text<!-- <p>hidden</p> --></body></html>"),
            "Text");
}

TEST(HtmlToText, DecodesCharacterReferences) {
  EXPECT_EQ(HtmlToText("a &amp; b &lt;c&gt; &quot;d&quot; &#233; &#xE9; &euro;&nbsp;1"),
            "a & b <c> \"d\" \xC3\xA9 \xC3\xA9 \xE2\x82\xAC 1");
  // Every HTML 4 name, not only the common ones.
  EXPECT_EQ(HtmlToText("&oslash;&aring;&AElig;&scaron;&hearts;&apos;"), "øåÆš♥'");
  EXPECT_EQ(HtmlToText("&unknown; & &#; &#xZZ; &OSLASH;"), "&unknown; & &#; &#xZZ; &OSLASH;");  // kept
  EXPECT_EQ(DecodeCharacterReference("#0"), "\xEF\xBF\xBD");            // NUL is not text
  EXPECT_EQ(DecodeCharacterReference("#99999999999"), "\xEF\xBF\xBD");  // out of range, no overflow
}

TEST(HtmlToText, SurvivesBrokenMarkup) {
  EXPECT_EQ(HtmlToText("a < b and c<d"), "a < b and c");  // a tag cut off at the end shows nothing
  EXPECT_EQ(HtmlToText("<p title='x>y'>z</p>"), "z");     // '>' inside a quoted attribute
  EXPECT_EQ(HtmlToText("<script>never closed"), "");
  EXPECT_EQ(HtmlToText(""), "");
  EXPECT_EQ(HtmlToText("<a href=\"x\" it's>ok</a>"), "ok");  // a stray quote does not swallow the rest
}

TEST(HtmlToText, IsLinearOnPathologicalInput) {
  std::string many_lt(2'000'000, '<');
  std::string many_amp(2'000'000, '&');
  std::string many_tags;
  for (int i = 0; i < 200'000; ++i) many_tags += "<b>";
  EXPECT_EQ(HtmlToText(many_lt).size(), many_lt.size());
  EXPECT_EQ(HtmlToText(many_amp).size(), many_amp.size());
  EXPECT_EQ(HtmlToText(many_tags), "");
}

TEST(CidReferences, FindsEveryCidUrlLowerCasedAndDecoded) {
  auto ids = CidReferences(
      "<img src=\"cid:Image001.PNG@01D0\"><img src='CID:b%40c'>"
      "<td background=cid:bg.gif>x</td><div style=\"background:url(cid:css)\">");
  EXPECT_EQ(ids, (std::set<std::string>{"image001.png@01d0", "b@c", "bg.gif", "css"}));
  EXPECT_TRUE(CidReferences("no references, just cid: text").empty());
}

TEST(UrlReferences, CollectsAttributeUrlsLowerCased) {
  auto urls = UrlReferences(
      "<img src=\"Header.GIF\"><td background='bg.png'><a href=http://x/Y>link</a><img SRC=plain.jpg alt=x>");
  EXPECT_EQ(urls, (std::set<std::string>{"header.gif", "bg.png", "http://x/y", "plain.jpg"}));
  EXPECT_TRUE(UrlReferences("no attributes, src = nothing").empty());
}

}  // namespace
}  // namespace velmora::mime
