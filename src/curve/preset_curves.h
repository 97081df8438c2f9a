// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "curve/curve_points.h"

#include <array>

// A ready-made curve: its caption in the menu, the file it ships as, and
// the exponent a of y = 127 * (x / 127)^a that it follows (1 for the line).
struct PresetCurve {
    const char* Caption;
    const char* FileName;
    double Exponent;
};

inline constexpr std::array<PresetCurve, 5> PresetCurves{{
    {"Linéaire", "lineaire.dat", 1.0},
    {"Très douce", "tres_douce.dat", 0.4},
    {"Douce", "douce.dat", 0.6},
    {"Dure", "dure.dat", 1.6},
    {"Très dure", "tres_dure.dat", 2.2},
}};

// The points of a ready-made curve. The line is the identity with no point
// in use, its points waiting on the diagonal; the others are fitted to
// their formula over 1 to 127, where no played note maps to 0.
CurvePoints PresetCurvePoints(const PresetCurve& preset);

// Every played note (velocity 1 to 127) leaves with `velocity`, taken
// within 1 to 127; input 0 stays 0.
CurvePoints FixedVelocityPoints(int velocity);
