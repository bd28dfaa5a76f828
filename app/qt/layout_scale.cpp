// Scaling the window description to the real font; see layout_scale.h.
#include "layout_scale.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <algorithm>
#include <cmath>

namespace {

// Line height of the description's font (8 points at 96 dots per inch).
constexpr int kDesignLineHeight = 13;
// Room left beside the widest caption.
constexpr int kSpare = 4;

int Round(double v) { return static_cast<int>(std::lround(v)); }

}  // namespace

int TLayoutScale::Width(int Units) const { return Round(Units * X); }
int TLayoutScale::Height(int Units) const { return Round(Units * Y); }

QRect TLayoutScale::Map(const QRect& Units) const {
  // Edges are scaled, not sizes, so that neighbours stay neighbours.
  const int left = Round(Units.x() * X), top = Round(Units.y() * Y);
  return QRect(left, top, Round((Units.x() + Units.width()) * X) - left,
               Round((Units.y() + Units.height()) * Y) - top);
}

int CaptionWidthNeeded(const QWidget* Control) {
  const QFontMetrics fm(Control->font());
  const QStyle* style = Control->style();
  if (const auto* box = qobject_cast<const QCheckBox*>(Control))
    return style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, Control) +
           style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, Control) +
           fm.horizontalAdvance(box->text());
  if (const auto* button = qobject_cast<const QPushButton*>(Control))
    return 2 * (style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, Control) / 2 +
                style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, Control)) +
           fm.horizontalAdvance(button->text());
  if (const auto* label = qobject_cast<const QLabel*>(Control))
    return 2 * label->frameWidth() + fm.horizontalAdvance(label->text());
  if (const auto* group = qobject_cast<const QGroupBox*>(Control)) {
    // The title sits in the frame, indented by the frame's own margin.
    const int indent = style->pixelMetric(QStyle::PM_LayoutLeftMargin, nullptr, Control);
    return 2 * indent + fm.horizontalAdvance(group->title());
  }
  return 0;
}

TLayoutScale ScaleToFit(const std::vector<QWidget*>& Controls) {
  TLayoutScale scale;
  for (const QWidget* control : Controls) {
    const int needed = CaptionWidthNeeded(control);
    if (needed <= 0 || control->width() <= 0) continue;
    scale.X = std::max(scale.X, static_cast<double>(needed + kSpare) / control->width());
    scale.Y = std::max(scale.Y, static_cast<double>(QFontMetrics(control->font()).height()) /
                                    kDesignLineHeight);
  }
  return scale;
}
