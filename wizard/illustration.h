// The introduction page's picture: a schematic of a mail program's window with its File menu open, the
// Export command's sub-menu showing "Export to .eml files", and the three steps marked 1, 2 and 3.
// Drawn by us at run time, so the program carries no picture file.
#pragma once

#include <QPixmap>

namespace velmora::wizard {

// 539 x 297 pixels, the size of the page's picture box.
QPixmap ExportIllustration();

}  // namespace velmora::wizard
