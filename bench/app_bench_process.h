// The running tray program, measured from outside: started from a scratch
// copy whose settings file points at the router simulator on 127.0.0.1.
#pragma once

struct ProgramFigures {
  double startToTrayMs = -1;      // start until the auto-connect that follows the tray icon
  double idleSwitchesPerS = -1;   // context switches of all its threads while idle
  double idleRssMb = -1;
};

// idleSeconds: how long the logged-in program is left alone.
ProgramFigures MeasureProgram(int idleSeconds);
