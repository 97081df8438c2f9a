// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "curve/curve_points.h"

#include <QString>

// What the chart interaction shows and decides, without the widgets.

// "In = %.0f -> Out = %.0f": the chart values under a free mouse.
QString FreeReadout(double In, double Out);

// "Pt#%d - In = %.0f -> Out = %.0f (Clic)": the selected point and the chart
// values under the mouse.
QString PointReadout(int Point, double In, double Out);

// A chart value truncated toward zero, for a slider that clamps it next;
// saturated at the int range so that no mouse position is out of reach.
int TruncatedValue(double value);

// The point whose marker stands at `position` of the point series drawn for
// `points`: 0 for the origin, 1 to 8 for a point in use, 9 for the end point
// (always the last value); -1 past the series. The series keeps its values in
// ascending order of In, a value after those of equal In added before it.
int PointAtSeriesPosition(const CurvePoints& points, int position);
