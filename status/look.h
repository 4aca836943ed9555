// The look shared by every window: colours given as 0x00BBGGRR values, the two type faces, the white bands
// and the two small icons (a yellow folder, a person), all drawn here so no picture file is needed.
#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QRect>
#include <cstdint>

class QLabel;
class QWidget;

namespace velmora::status {

// Colours in the window system's layout: red in the lowest byte, then green, then blue, the top byte zero.
inline constexpr uint32_t kWhite = 0xFFFFFF;
inline constexpr uint32_t kGreen = 0x008000;       // titles, and the rows a run has taken on
inline constexpr uint32_t kGrey = 0x808080;        // step headings, rules and explanations
inline constexpr uint32_t kDarkGrey = 0x404040;    // the status window's file line
inline constexpr uint32_t kPaleYellow = 0xC0FFFF;  // every second row of the mailbox list

QColor FromBgr(uint32_t bgr);
uint32_t ToBgr(const QColor& colour);

// Tahoma and Verdana. On Windows these are the system's own faces. On Linux, without Tahoma, the
// Tahoma-compatible face of Debian's fonts-wine is used when present (same widths, so the layouts fit as
// drawn); otherwise a sans-serif face that has the glyphs (DejaVu Sans is the usual stand-in, and the one for
// Verdana), never a face that would draw missing-glyph boxes.
QFont Tahoma(double points, bool bold = false);
QFont Verdana(double points, bool bold = false);

// A filled white rectangle at `rect` (it may reach past the window's edge, as the bands do), kept below the
// other controls.
QWidget* WhiteBand(QWidget* parent, const QRect& rect);
// A one-pixel horizontal rule from (x1, y) to (x2, y).
QWidget* Rule(QWidget* parent, int x1, int x2, int y, uint32_t bgr);
// Label captions as the window system's labels treat them: "&&" shows one "&" and a lone "&" marks an
// access key and is not shown. The caption as written is kept and read back unchanged. A label marked by
// ShowLiterally (one that shows file or folder paths, whose names may hold "&") shows the caption as written.
void SetCaption(QLabel* label, const QString& caption);
void ShowLiterally(QLabel* label);
QString Caption(const QLabel* label);
// Text colour of a label or button.
void SetTextColour(QWidget* widget, uint32_t bgr);

// 16 x 16 icons of our own drawing.
QIcon FolderIcon();
QIcon PersonIcon();

// Moves `window` so that it is centred over `owner` (or over the screen when there is none), then into the
// available area of the screen it lands on: a window larger than that area keeps its top left corner in it.
void CentreOver(QWidget* window, const QWidget* owner);
// Moves `window` beside `page` (below, right, left or above, the first where it fits on the screen) so that
// it covers none of it; leaves it where it is when there is no such place.
void MoveBeside(QWidget* window, const QWidget* page);

}  // namespace velmora::status
