// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>

// The program's font: Tahoma 8 pt (11 px) where installed, else the system
// sans-serif at 11 px; bold for the captions that ask for it.
QFont UiFont(bool bold = false);

class QLabel;

// Where the intended face is missing, a wider one stands in for it; a label
// that would then run into its neighbour is narrowed to `room` pixels with
// the font's stretch instead of being moved.
void FitLabelToWidth(QLabel* label, int room);
