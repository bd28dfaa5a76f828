// The tray and window images: 16x16 squares of one colour with the black
// letters DSL, and the 32x32 grey program icon.  Drawn by the program
// itself, so they look the same on every platform.
#pragma once

#include <QIcon>

enum TTrayImage : int {
  tiRed = 0,      // access closed
  tiGreen = 1,    // access open
  tiGrey = 2,     // start-up only
  tiBlocked = 3,  // red, crossed out by a black X
};

QIcon TrayImage(int Index);
QIcon ProgramIcon();
