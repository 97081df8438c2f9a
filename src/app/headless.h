// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Velomorph without a window, for stage rigs and small computers: the same
// routing, devices, curve file reader and transfer table as the window, under
// a console application object (no display, no Qt platform plugin). The
// curve is read again whenever its file changes and on SIGHUP; SIGTERM and
// SIGINT end the program with exit code 0.

#include "app/command_line.h"

// Runs until a signal ends it; the exit code (ExitCurveFile, ExitNoMidiServer).
int RunHeadless(char* program, const TCommandLine& given);
