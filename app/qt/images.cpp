// Draws the DSL images; see images.h.
#include "images.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>
#include <algorithm>

namespace {

// The letters' height as a share of the square's side, and the cross's
// line width.
constexpr int kLetterSixteenths = 7;
constexpr double kCrossShare = 1.0 / 8;

QColor ColourOf(int index) {
  switch (index) {
    case tiGreen: return QColor(0, 255, 0);
    case tiGrey: return QColor(192, 192, 192);
    default: return QColor(255, 0, 0);
  }
}

}  // namespace

QImage DrawImage(int Index, int Size) {
  QImage image(Size, Size, QImage::Format_ARGB32);
  image.fill(ColourOf(Index));
  QPainter p(&image);
  QFont f(QStringLiteral("Sans Serif"));
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(std::max(1, Size * kLetterSixteenths / 16));
  f.setBold(true);
  p.setFont(f);
  p.setPen(Qt::black);
  p.drawText(QRect(0, 0, Size, Size), Qt::AlignCenter, QStringLiteral("DSL"));
  if (Index == tiBlocked) {
    p.setPen(QPen(Qt::black, Size * kCrossShare));
    p.drawLine(0, 0, Size - 1, Size - 1);
    p.drawLine(0, Size - 1, Size - 1, 0);
  }
  return image;
}

QString ImageSvg(int Index) {
  // Drawn on a 16-unit square, the tray's own size.
  QString svg = QStringLiteral(
                    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\" "
                    "viewBox=\"0 0 16 16\">\n"
                    "  <rect width=\"16\" height=\"16\" fill=\"%1\"/>\n"
                    "  <text x=\"8\" y=\"8\" font-family=\"sans-serif\" font-weight=\"bold\" "
                    "font-size=\"%2\" text-anchor=\"middle\" dominant-baseline=\"central\" "
                    "fill=\"#000000\">DSL</text>\n")
                    .arg(ColourOf(Index).name())
                    .arg(kLetterSixteenths);
  if (Index == tiBlocked)
    svg += QStringLiteral(
               "  <path d=\"M0 0L16 16M0 16L16 0\" stroke=\"#000000\" stroke-width=\"%1\"/>\n")
               .arg(16 * kCrossShare);
  return svg + QStringLiteral("</svg>\n");
}

QIcon TrayImage(int Index) { return QIcon(QPixmap::fromImage(DrawImage(Index, 16))); }

QIcon ProgramIcon() {
  QIcon icon(QPixmap::fromImage(DrawImage(tiGrey, 32)));
  icon.addPixmap(QPixmap::fromImage(DrawImage(tiGrey, 16)));
  return icon;
}
