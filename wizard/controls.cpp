#include "wizard/controls.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

#include "status/look.h"

namespace velmora::wizard {

QLabel* MakeLabel(QWidget* parent, const QString& text, const QRect& rect, const QFont& font,
                  bool word_wrap) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(rect);
  label->setFont(font);
  label->setWordWrap(word_wrap);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setTextFormat(Qt::PlainText);
  return label;
}

QPushButton* MakeButton(QWidget* parent, const QString& caption, const QRect& rect) {
  auto* button = new QPushButton(caption, parent);
  button->setGeometry(rect);
  button->setFont(status::Verdana(9));
  return button;
}

QLabel* MakeTitle(QWidget* parent) {
  QLabel* title = MakeLabel(parent, QStringLiteral("Velmora eM Client Converter"), QRect(16, 8, 417, 25),
                            status::Tahoma(14.25, true));
  status::SetTextColour(title, status::kGreen);
  return title;
}

namespace {

// The stand-in faces run wider than Tahoma; a one-line label in a box sized for Tahoma gets a smaller size
// rather than a cut-off word.
QFont FittingFont(QFont font, const QString& text, int width) {
  constexpr double kSmallest = 6.0;
  while (QFontMetrics(font).horizontalAdvance(text) > width && font.pointSizeF() > kSmallest) {
    font.setPointSizeF(font.pointSizeF() - 0.25);
  }
  return font;
}

}  // namespace

QLabel* MakeStepHeading(QWidget* parent, const QString& text, const QRect& rect, int fit_width) {
  QLabel* heading = MakeLabel(parent, text, rect, FittingFont(status::Tahoma(12, true), text, fit_width));
  status::SetTextColour(heading, status::kGrey);
  return heading;
}

QLabel* MakeFolderImage(QWidget* parent, const QRect& rect) {
  auto* image = new QLabel(parent);
  image->setGeometry(rect);
  image->setPixmap(status::FolderIcon().pixmap(16, 16));
  return image;
}

}  // namespace velmora::wizard
