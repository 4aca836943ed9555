#include "wizard/controls.h"

#include <QLabel>
#include <QPushButton>

#include "status/fit.h"
#include "status/look.h"

namespace velmora::wizard {

QLabel* MakeLabel(QWidget* parent, const QString& text, const QRect& rect, const QFont& font,
                  bool word_wrap) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(rect);
  label->setWordWrap(word_wrap);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setTextFormat(Qt::PlainText);
  status::SetFittedFont(label, font);
  return label;
}

QPushButton* MakeButton(QWidget* parent, const QString& caption, const QRect& rect) {
  auto* button = new QPushButton(caption, parent);
  button->setGeometry(rect);
  status::SetFittedFont(button, status::Verdana(9));
  return button;
}

QLabel* MakeTitle(QWidget* parent) {
  QLabel* title = MakeLabel(parent, QStringLiteral("Velmora eM Client Converter"), QRect(16, 8, 417, 25),
                            status::Tahoma(14.25, true));
  status::SetTextColour(title, status::kGreen);
  return title;
}

QLabel* MakeStepHeading(QWidget* parent, const QString& text, const QRect& rect, int fit_width) {
  // The heading's box ends where the rule beside it starts, so its text never runs into the rule.
  QLabel* heading =
      MakeLabel(parent, text, QRect(rect.x(), rect.y(), fit_width, rect.height()), status::Tahoma(12, true));
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
