#include "wizard/illustration.h"

#include <QPainter>

#include "status/look.h"

namespace velmora::wizard {

namespace {

constexpr int kWidth = 539;
constexpr int kHeight = 297;

// A numbered step marker: a green disc with a white digit.
void StepMarker(QPainter& p, QPointF centre, int step) {
  p.save();
  p.setPen(Qt::NoPen);
  p.setBrush(status::FromBgr(status::kGreen));
  p.drawEllipse(centre, 9, 9);
  p.setPen(Qt::white);
  p.setFont(status::Tahoma(8, true));
  p.drawText(QRectF(centre.x() - 9, centre.y() - 9, 18, 18), Qt::AlignCenter, QString::number(step));
  p.restore();
}

void MenuItem(QPainter& p, const QRectF& row, const QString& text, bool highlighted, bool has_submenu) {
  if (highlighted) {
    p.fillRect(row, QColor(0xCC, 0xE4, 0xF7));
    p.setPen(QColor(0x26, 0x7D, 0xC8));
    p.drawRect(row.adjusted(0, 0, -1, -1));
  }
  p.setPen(Qt::black);
  p.drawText(row.adjusted(24, 0, -8, 0), Qt::AlignVCenter | Qt::AlignLeft, text);
  if (has_submenu)
    p.drawText(row.adjusted(0, 0, -8, 0), Qt::AlignVCenter | Qt::AlignRight, QStringLiteral(">"));
}

}  // namespace

QPixmap ExportIllustration() {
  QPixmap pixmap(kWidth, kHeight);
  pixmap.fill(QColor(0xF4, 0xF6, 0xF8));
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setFont(status::Tahoma(9));

  // The mail program's window: title bar, menu bar and a dimmed message list behind the menu.
  const QRectF window(10, 10, 519, 277);
  p.setPen(QColor(0x90, 0x98, 0xA0));
  p.setBrush(Qt::white);
  p.drawRect(window);
  p.fillRect(QRectF(11, 11, 518, 24), QColor(0x2D, 0x5F, 0x9E));
  p.setPen(Qt::white);
  p.drawText(QRectF(20, 11, 300, 24), Qt::AlignVCenter, QStringLiteral("Mail - Inbox"));
  p.fillRect(QRectF(11, 35, 518, 22), QColor(0xEE, 0xEE, 0xEE));
  const QStringList menus = {QStringLiteral("File"), QStringLiteral("Edit"), QStringLiteral("View"),
                             QStringLiteral("Tools"), QStringLiteral("Help")};
  for (int i = 0; i < menus.size(); ++i) {
    const QRectF item(16 + i * 52, 35, 48, 22);
    if (i == 0) p.fillRect(item, QColor(0xCC, 0xE4, 0xF7));
    p.setPen(Qt::black);
    p.drawText(item, Qt::AlignCenter, menus[i]);
  }
  p.setPen(QColor(0xE2, 0xE2, 0xE2));
  for (int y = 80; y < 280; y += 24) p.drawLine(QPointF(200, y), QPointF(520, y));

  // The File menu with Export highlighted.
  const QRectF menu(16, 57, 170, 150);
  p.setPen(QColor(0xA0, 0xA0, 0xA0));
  p.setBrush(Qt::white);
  p.drawRect(menu);
  const QStringList items = {QStringLiteral("New"),       QStringLiteral("Open"),
                             QStringLiteral("Import..."), QStringLiteral("Export..."),
                             QStringLiteral("Print..."),  QStringLiteral("Exit")};
  for (int i = 0; i < items.size(); ++i) {
    MenuItem(p, QRectF(menu.left() + 1, menu.top() + 3 + i * 24, menu.width() - 2, 22), items[i], i == 3,
             i == 3);
  }

  // The export choices, "Export to .eml files" highlighted.
  const QRectF choices(186, 124, 200, 78);
  p.setPen(QColor(0xA0, 0xA0, 0xA0));
  p.setBrush(Qt::white);
  p.drawRect(choices);
  const QStringList actions = {QStringLiteral("Export to .eml files"), QStringLiteral("Export to .mbox file"),
                               QStringLiteral("Export contacts")};
  for (int i = 0; i < actions.size(); ++i) {
    MenuItem(p, QRectF(choices.left() + 1, choices.top() + 3 + i * 24, choices.width() - 2, 22), actions[i],
             i == 0, false);
  }

  // The caption under the menus and the three steps.
  p.setPen(QColor(0x40, 0x40, 0x40));
  p.setFont(status::Tahoma(9, true));
  p.drawText(QRectF(30, 225, 480, 40), Qt::AlignLeft | Qt::TextWordWrap,
             QStringLiteral("Choose a folder for the exported messages and export every mailbox folder."));
  StepMarker(p, QPointF(66, 46), 1);
  StepMarker(p, QPointF(176, 141), 2);
  StepMarker(p, QPointF(396, 139), 3);
  return pixmap;
}

}  // namespace velmora::wizard
