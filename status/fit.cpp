#include "status/fit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>

namespace velmora::status {

namespace {

constexpr const char* kBaseFontProperty = "velmoraBaseFont";
// Below this size the text is no longer readable; a caption that still does not fit stays cut off.
constexpr double kSmallestPoints = 8.0;
constexpr double kStepPoints = 0.25;
// Room that is never short: an unbounded height or width for measuring text.
constexpr int kUnbounded = 1 << 20;

// The part of `rect` (in the control's coordinates) that its window shows: a box running past the window's
// right or bottom edge shows only up to that edge.
QRect VisiblePart(const QWidget* control, QRect rect) {
  const QWidget* window = control->window();
  if (window == control) return rect;
  const QPoint origin = control->mapTo(window, QPoint(0, 0));
  return rect.intersected(window->rect().translated(-origin));
}

bool LabelFits(const QLabel* label) {
  if (label->text().isEmpty()) return true;
  const QRect room = VisiblePart(label, label->contentsRect());
  const QFontMetrics metrics(label->font());
  // The usual case, and a cheap one (the status lines change with every message): one line that fits.
  if (!label->text().contains(QLatin1Char('\n')) && metrics.height() <= room.height() &&
      metrics.horizontalAdvance(label->text()) <= room.width()) {
    return true;
  }
  const int flags = static_cast<int>(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
  const QRect needed = metrics.boundingRect(
      QRect(0, 0, label->wordWrap() ? room.width() : kUnbounded, kUnbounded), flags, label->text());
  return needed.width() <= room.width() && needed.height() <= room.height();
}

bool ButtonFits(const QAbstractButton* button) {
  if (button->text().isEmpty()) return true;
  QStyleOptionButton option;
  option.initFrom(button);
  option.text = button->text();
  QStyle::SubElement contents = QStyle::SE_PushButtonContents;
  if (qobject_cast<const QRadioButton*>(button)) {
    contents = QStyle::SE_RadioButtonContents;
  } else if (qobject_cast<const QCheckBox*>(button)) {
    contents = QStyle::SE_CheckBoxContents;
  }
  const QRect room = VisiblePart(button, button->style()->subElementRect(contents, &option, button));
  // Drawn with the access key underlined, so a single "&" takes no room.
  const QSize needed = QFontMetrics(button->font()).size(Qt::TextShowMnemonic, button->text());
  return needed.width() <= room.width() && needed.height() <= room.height();
}

constexpr const char* kFittedTextProperty = "velmoraFittedText";
constexpr const char* kElideProperty = "velmoraElide";

// The label's text on one line, its middle left out so that it fits the label's visible room.
void Elide(QLabel* label) {
  const QString full = label->text();
  const QRect room = VisiblePart(label, label->contentsRect());
  label->setText(QFontMetrics(label->font()).elidedText(full, Qt::ElideMiddle, room.width()));
  label->setToolTip(full);
}

// One filter for every label fitted at paint time; it runs before the label paints itself.
class PaintFitter : public QObject {
 public:
  static PaintFitter& Instance() {
    static PaintFitter* fitter = new PaintFitter;  // lives as long as the labels it watches may
    return *fitter;
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Paint) return false;
    auto* label = static_cast<QLabel*>(watched);
    const QString text = label->text();
    if (label->property(kFittedTextProperty).toString() != text) {
      Refit(label);
      if (label->property(kElideProperty).toBool()) {
        label->setToolTip(QString());
        if (!TextFits(label)) Elide(label);
      }
      label->setProperty(kFittedTextProperty, label->text());
    }
    return false;
  }
};

}  // namespace

void FitWhenPainted(QLabel* label) {
  label->installEventFilter(&PaintFitter::Instance());
}

void ElideWhenLong(QLabel* label) {
  label->setWordWrap(false);  // a path broken anywhere over several lines is hard to read
  label->setProperty(kElideProperty, true);
  FitWhenPainted(label);
}

bool TextFits(const QWidget* control) {
  if (const auto* label = qobject_cast<const QLabel*>(control)) return LabelFits(label);
  if (const auto* button = qobject_cast<const QAbstractButton*>(control)) return ButtonFits(button);
  return true;
}

void SetFittedFont(QWidget* control, const QFont& font) {
  control->setProperty(kBaseFontProperty, font);
  Refit(control);
}

void Refit(QWidget* control) {
  const QVariant base = control->property(kBaseFontProperty);
  QFont font = base.isValid() ? base.value<QFont>() : control->font();
  if (!base.isValid()) control->setProperty(kBaseFontProperty, font);
  if (control->font() != font) control->setFont(font);
  while (!TextFits(control) && font.pointSizeF() > kSmallestPoints) {
    font.setPointSizeF(font.pointSizeF() - kStepPoints);
    control->setFont(font);
  }
}

}  // namespace velmora::status
