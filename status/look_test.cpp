#include "status/look.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>

#include "status/testing/offscreen_app.h"

namespace velmora::status {
namespace {

TEST(Colours, ValuesAreLaidOutBlueGreenRed) {
  const QColor pale_yellow = FromBgr(0xC0FFFF);  // red 255, green 255, blue 192
  EXPECT_EQ(pale_yellow, QColor(255, 255, 192));
  EXPECT_EQ(FromBgr(0x008000), QColor(0, 128, 0));
  EXPECT_EQ(FromBgr(0x404040), QColor(64, 64, 64));
  EXPECT_EQ(ToBgr(QColor(0x12, 0x34, 0x56)), 0x563412u);
}

TEST(Fonts, StandInFacesHaveTheGlyphsOfNamesAndPaths) {
  testing::OffscreenApp();
  for (const QFont& font : {Tahoma(9), Verdana(9, true)}) {
    const QFontMetrics metrics(font);
    for (const char16_t c : {u'A', u'\u00e9', u'\u00fc', u'\u0416', u'\u03a9', u'&'}) {
      EXPECT_TRUE(metrics.inFont(QChar(c)))
          << QFontInfo(font).family().toStdString() << " lacks U+" << std::hex << static_cast<int>(c);
    }
  }
}

TEST(Captions, DoubleAmpersandShowsOneAndTheCaptionReadsBackAsWritten) {
  testing::OffscreenApp();
  QLabel label;
  SetCaption(&label, QStringLiteral("Reading Messages && Email Metadata"));
  EXPECT_EQ(label.text(), QStringLiteral("Reading Messages & Email Metadata"));
  EXPECT_EQ(Caption(&label), QStringLiteral("Reading Messages && Email Metadata"));
  SetCaption(&label, QStringLiteral("S&TOP &&&"));  // a lone "&" marks an access key and is not shown
  EXPECT_EQ(label.text(), QStringLiteral("STOP &"));
  SetCaption(&label, QStringLiteral("trailing &"));
  EXPECT_EQ(label.text(), QStringLiteral("trailing "));
}

}  // namespace
}  // namespace velmora::status
