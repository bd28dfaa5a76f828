// The window description's positions are in the units of the narrow 8-point
// font it was drawn with.  As a dialog's units follow its font, every
// position and size is scaled by one horizontal and one vertical factor
// taken from the font the window really gets: wide enough that the widest
// caption fits its control with a little room to spare, tall enough for a
// line of its text.  The window keeps its proportions with any font.
#pragma once

#include <QRect>
#include <vector>

class QWidget;

struct TLayoutScale {
  double X = 1.0;
  double Y = 1.0;

  int Width(int Units) const;
  int Height(int Units) const;
  QRect Map(const QRect& Units) const;
};

// The factors for these controls as they stand now, in the window
// description's geometry and with their own fonts.  Never below 1: a narrow
// font keeps the description's pixel sizes.
TLayoutScale ScaleToFit(const std::vector<QWidget*>& Controls);

// The width a control's caption needs in its font, its box or indicator
// included; 0 for a control without a caption.
int CaptionWidthNeeded(const QWidget* Control);
