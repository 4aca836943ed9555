// Small constructors for the pages' controls, placed at fixed pixel positions as the pages lay them out.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <cstdint>

class QLabel;
class QPushButton;
class QWidget;

namespace velmora::wizard {

QLabel* MakeLabel(QWidget* parent, const QString& text, const QRect& rect, const QFont& font,
                  bool word_wrap = false);
QPushButton* MakeButton(QWidget* parent, const QString& caption, const QRect& rect);  // Verdana 9 pt
// The green title on the start pages' white band.
QLabel* MakeTitle(QWidget* parent);
// Every control made here gets a smaller size when its text would not fit (status/fit.h).
// A step heading ("1.  Export Your Emails"): bold Tahoma 12 pt, grey, on the page's own background.
// Its text ends within `fit_width` (where the rule beside it starts).
QLabel* MakeStepHeading(QWidget* parent, const QString& text, const QRect& rect, int fit_width);
// A 16 x 16 folder picture.
QLabel* MakeFolderImage(QWidget* parent, const QRect& rect);

}  // namespace velmora::wizard
