#include "status/look.h"

#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace velmora::status {

QColor FromBgr(uint32_t bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}

uint32_t ToBgr(const QColor& colour) {
  return static_cast<uint32_t>(colour.red()) | (static_cast<uint32_t>(colour.green()) << 8) |
         (static_cast<uint32_t>(colour.blue()) << 16);
}

namespace {

#ifndef Q_OS_WIN
// Debian's fonts-wine puts a face metric-compatible with Tahoma here, outside the folders fontconfig
// searches; the layouts were measured in Tahoma, so it is registered with the application by hand. Only the
// regular face: the package's bold face draws thin, widely spaced strokes with a gap after every "/"
// (measured at 14.25 pt: "/home/ann/mail/Inbox" 228 pixels against 190 in the regular face, the title 271
// against 239), while the regular face made bold by the font engine keeps the regular widths (191 and 240)
// with heavier strokes.
constexpr const char* kWineFontFolder = "/usr/share/wine/fonts/";
constexpr const char* kWineFaces[] = {"tahoma.ttf"};

void RegisterWineFacesOnce() {
  static const bool registered = [] {
    // An installed Tahoma is the real one; leave it alone.
    if (QFontDatabase::families().contains(QStringLiteral("Tahoma"))) return true;
    for (const char* face : kWineFaces) {
      const QString path = QString::fromUtf8(kWineFontFolder) + QString::fromUtf8(face);
      if (QFile::exists(path)) QFontDatabase::addApplicationFont(path);
    }
    return true;
  }();
  (void)registered;
}
#endif

QFont Face(const QString& first, double points, bool bold) {
#ifndef Q_OS_WIN  // Windows has Tahoma and Verdana of its own
  RegisterWineFacesOnce();
#endif
  QFont font;
  // DejaVu Sans and Liberation Sans carry the Latin, Greek and Cyrillic glyphs paths and names may hold.
  font.setFamilies({first, QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"),
                    QStringLiteral("sans-serif")});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(points);
  font.setBold(bold);
  return font;
}

}  // namespace

QFont Tahoma(double points, bool bold) {
  return Face(QStringLiteral("Tahoma"), points, bold);
}
QFont Verdana(double points, bool bold) {
  return Face(QStringLiteral("Verdana"), points, bold);
}

QWidget* WhiteBand(QWidget* parent, const QRect& rect) {
  auto* band = new QWidget(parent);
  band->setGeometry(rect);
  band->setAutoFillBackground(true);
  QPalette palette = band->palette();
  palette.setColor(QPalette::Window, FromBgr(kWhite));
  band->setPalette(palette);
  band->lower();
  return band;
}

QWidget* Rule(QWidget* parent, int x1, int x2, int y, uint32_t bgr) {
  auto* rule = new QWidget(parent);
  rule->setGeometry(x1, y, x2 - x1 + 1, 1);
  rule->setAutoFillBackground(true);
  QPalette palette = rule->palette();
  palette.setColor(QPalette::Window, FromBgr(bgr));
  rule->setPalette(palette);
  return rule;
}

namespace {
constexpr const char* kCaptionProperty = "velmoraCaption";
constexpr const char* kLiteralProperty = "velmoraLiteral";
}  // namespace

void ShowLiterally(QLabel* label) {
  label->setProperty(kLiteralProperty, true);
  label->setTextFormat(Qt::PlainText);
}

void SetCaption(QLabel* label, const QString& caption) {
  label->setProperty(kCaptionProperty, caption);
  if (label->property(kLiteralProperty).toBool()) {
    label->setText(caption);
    return;
  }
  QString shown;
  shown.reserve(caption.size());
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == QLatin1Char('&')) {
      if (i + 1 < caption.size() && caption[i + 1] == QLatin1Char('&')) {
        shown += QLatin1Char('&');
        ++i;
      }
      continue;
    }
    shown += caption[i];
  }
  label->setText(shown);
}

QString Caption(const QLabel* label) {
  const QVariant caption = label->property(kCaptionProperty);
  return caption.isValid() ? caption.toString() : label->text();
}

void SetTextColour(QWidget* widget, uint32_t bgr) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, FromBgr(bgr));
  palette.setColor(QPalette::ButtonText, FromBgr(bgr));
  widget->setPalette(palette);
}

QIcon FolderIcon() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QColor(0xB0, 0x80, 0x10));
  p.setBrush(QColor(0xF0, 0xC0, 0x40));
  p.drawRoundedRect(QRectF(1.5, 2.5, 6, 3), 1, 1);  // the tab
  p.setBrush(QColor(0xFF, 0xD8, 0x60));
  p.drawRoundedRect(QRectF(1.5, 4.5, 13, 9), 1, 1);  // the body
  return QIcon(pixmap);
}

QIcon PersonIcon() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QColor(0x20, 0x50, 0x90));
  p.setBrush(QColor(0x60, 0x98, 0xD8));
  QPainterPath shoulders;
  shoulders.moveTo(2.5, 15.5);
  shoulders.cubicTo(2.5, 9.5, 13.5, 9.5, 13.5, 15.5);
  shoulders.closeSubpath();
  p.drawPath(shoulders);
  p.setBrush(QColor(0xF2, 0xC8, 0x9C));
  p.drawEllipse(QRectF(4.5, 1.5, 7, 7));  // the head
  return QIcon(pixmap);
}

void CentreOver(QWidget* window, const QWidget* owner) {
  QRect area;
  if (owner && owner->isVisible()) {
    area = owner->frameGeometry();
  } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  } else {
    return;
  }
  QPoint at = area.center() - QPoint(window->width() / 2, window->height() / 2);
  const QScreen* screen = QGuiApplication::screenAt(area.center());
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (screen) {
    // The frame's size where it is known; the title bar and borders add to the client area.
    const QSize frame = window->frameGeometry().size().expandedTo(window->size());
    const QRect available = screen->availableGeometry();
    at.setX(std::max(available.left(), std::min(at.x(), available.right() + 1 - frame.width())));
    at.setY(std::max(available.top(), std::min(at.y(), available.bottom() + 1 - frame.height())));
  }
  window->move(at);
}

void MoveBeside(QWidget* window, const QWidget* page) {
  const QScreen* screen = page->screen();
  if (!screen) return;
  const QRect available = screen->availableGeometry();
  const QRect p = page->frameGeometry();
  const QSize size = window->frameGeometry().size().expandedTo(window->size());
  constexpr int kGap = 8;
  const QPoint places[] = {
      {p.left(), p.bottom() + 1 + kGap},
      {p.right() + 1 + kGap, p.top()},
      {p.left() - kGap - size.width(), p.top()},
      {p.left(), p.top() - kGap - size.height()},
  };
  for (const QPoint& at : places) {
    if (available.contains(QRect(at, size))) {
      window->move(at);
      return;
    }
  }
}

}  // namespace velmora::status
