// Draws the DSL images; see images.h.
#include "images.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>

namespace {

QPixmap Square(int size, const QColor& colour, bool crossed) {
  QPixmap pm(size, size);
  pm.fill(colour);
  QPainter p(&pm);
  QFont f(QStringLiteral("Sans Serif"));
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(size * 7 / 16);
  f.setBold(true);
  p.setFont(f);
  p.setPen(Qt::black);
  p.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("DSL"));
  if (crossed) {
    p.setPen(QPen(Qt::black, size / 8.0));
    p.drawLine(0, 0, size - 1, size - 1);
    p.drawLine(0, size - 1, size - 1, 0);
  }
  return pm;
}

QColor ColourOf(int index) {
  switch (index) {
    case tiGreen: return QColor(0, 255, 0);
    case tiGrey: return QColor(192, 192, 192);
    default: return QColor(255, 0, 0);
  }
}

}  // namespace

QIcon TrayImage(int Index) { return QIcon(Square(16, ColourOf(Index), Index == tiBlocked)); }

QIcon ProgramIcon() {
  QIcon icon(Square(32, ColourOf(tiGrey), false));
  icon.addPixmap(Square(16, ColourOf(tiGrey), false));
  return icon;
}
