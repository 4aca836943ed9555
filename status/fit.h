// Text that fits its control. The layouts were measured in Tahoma and Verdana; where another face stands in
// (or a caption is longer than the layout foresaw), a caption that would be cut off is drawn a little smaller
// instead. Labels, push buttons, option buttons and check boxes are handled; a label's room ends at its
// window's edge even when its box runs past it.
#pragma once

class QFont;
class QLabel;
class QWidget;

namespace velmora::status {

// Gives `control` `font`, lowered a quarter point at a time (not below 8 pt, the smallest readable size)
// while its text does not fit.
// The font is remembered for Refit.
void SetFittedFont(QWidget* control, const QFont& font);
// Fits the control's text again after it changed, starting from the font given to SetFittedFont (or the
// control's font when none was given).
void Refit(QWidget* control);
// Fits the label's text again when it is painted after its text changed. For lines the engine rewrites with
// every message: they are measured once per repaint, not once per change.
void FitWhenPainted(QLabel* label);
// For labels that show paths: one line, fitted when painted (as above), and a text that still does not fit
// at the smallest size is shown with its middle left out ("/home/…/Inbox"), the whole text being the
// label's tooltip then.
void ElideWhenLong(QLabel* label);
// Whether the control's text, as the style draws it, lies wholly inside the control and its window.
bool TextFits(const QWidget* control);

}  // namespace velmora::status
