// The tray and window images: 16x16 squares of one colour with the black
// letters DSL, and the 32x32 grey program icon.  Drawn by the program
// itself, so they look the same on every platform.
#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

enum TTrayImage : int {
  tiRed = 0,      // access closed
  tiGreen = 1,    // access open
  tiGrey = 2,     // start-up only
  tiBlocked = 3,  // red, crossed out by a black X
};

QIcon TrayImage(int Index);
QIcon ProgramIcon();

// One image of Size pixels square, as the tray and the window show it.
QImage DrawImage(int Index, int Size);
// The same image as a scalable drawing (SVG text): the same colour, the
// same letters at the same share of the size.
QString ImageSvg(int Index);
