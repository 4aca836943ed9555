#include "status/look.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <algorithm>

#include "fsutil/testing/linux_only.h"
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
  VELMORA_LINUX_ONLY("the stand-in faces; Windows draws with its own Tahoma and Verdana");
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

// The width a caption takes on screen: the rightmost column of `label`'s picture that holds a text pixel.
int RenderedWidth(const QString& text, const QFont& font) {
  QLabel label;
  label.setFont(font);
  label.setText(text);
  label.setGeometry(0, 0, 800, 40);
  const QImage image = label.grab().toImage();
  const QRgb background = image.pixel(image.width() - 1, image.height() - 1);
  int right = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) != background) right = std::max(right, x + 1);
  return right / static_cast<int>(label.devicePixelRatio());
}

TEST(Fonts, BoldCaptionsKeepTheirWidthAndFitTheirBox) {
  testing::OffscreenApp();
  // The introduction page's title, bold Tahoma 14.25 pt in a 417-pixel box. The bold face is hardly wider
  // than the regular one, never spread out, and a "/" leaves no gap behind it (the thin stand-in bold face
  // ran a path 20% wider than the regular face).
  const QString title = QStringLiteral("Velmora eM Client Converter");
  const int bold = RenderedWidth(title, Tahoma(14.25, true));
  const int regular = RenderedWidth(title, Tahoma(14.25));
  EXPECT_LE(bold, 417);
  EXPECT_GE(bold, regular);
  VELMORA_LINUX_ONLY("the widths of the stand-in bold face; Windows has Tahoma Bold itself");
  EXPECT_LE(bold, regular * 115 / 100) << "bold " << bold << " regular " << regular;
  const QString path = QStringLiteral("/home/ann/mail/Inbox");
  const int bold_path = RenderedWidth(path, Tahoma(14.25, true));
  const int regular_path = RenderedWidth(path, Tahoma(14.25));
  EXPECT_LE(bold_path, regular_path * 110 / 100) << "bold " << bold_path << " regular " << regular_path;
}

TEST(Placement, WindowsStayOnTheScreenAndMoveBesideAPage) {
  testing::OffscreenApp();
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  QWidget wide;
  wide.resize(screen.width() + 300, 100);
  CentreOver(&wide, nullptr);
  EXPECT_EQ(wide.x(), screen.left()) << "too wide: its left edge stays on the screen";
  QWidget page;
  page.setGeometry(screen.left(), screen.top(), 300, 200);
  QWidget status;
  status.resize(200, 120);
  status.move(page.pos());
  MoveBeside(&status, &page);
  EXPECT_FALSE(status.geometry().intersects(page.geometry()));
  EXPECT_TRUE(screen.contains(status.geometry()));
}

}  // namespace
}  // namespace velmora::status
