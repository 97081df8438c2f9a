// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "curve/curve_points.h"

#include <array>
#include <cstdint>

// The map from an incoming data value (index) to the outgoing one (entry).
using TTransferTable = std::array<std::uint8_t, 128>;

// The table of the curve from the origin through points 1 to Count to the end
// point (127, Out of point 9); the identity while no point is in use. Values
// outside the sliders' ranges are taken as the nearest bound.
TTransferTable BuildTransferTable(const CurvePoints& points);

// Entry i of the segment from (xs, ys) to (xe, ye), xs <= i <= xe, as the
// table computes it: the index itself for a segment of zero width.
std::uint8_t TransferSegmentValue(int xs, int ys, int xe, int ye, int i);

// True when the In values of the points in use never decrease (equal is fine).
bool CheckCurveValid(const CurvePoints& points);
