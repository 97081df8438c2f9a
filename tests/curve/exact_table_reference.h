// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "curve/curve_points.h"

#include <array>

// The table of a curve computed with exact integer arithmetic that rounds to a
// 64-bit significand (ties to even) after each of q := a / b, p := q * c,
// s := p + ys, then truncates toward zero. No floating point is used, so it
// checks the production table independently of the compiler and the FPU.
std::array<int, 128> ExactReferenceTable(const CurvePoints& points);

// One entry of the segment from (xs, ys) to (xe, ye), computed as above.
int ExactSegmentValue(int xs, int ys, int xe, int ye, int i);
