// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "curve/curve_points.h"

#include <vector>

// Colour of a mark of the point series.
enum class MarkColour {
    Series,  // the series colour (see CurveSeriesColour)
    Lime,    // a point in use
    Yellow,  // the point being dragged
};

// Colour of both series: lime for a valid curve, red otherwise.
enum class SeriesColour { Lime, Red };

// One value of the point series.
struct SeriesMark {
    int X;              // In value
    int Y;              // Out value
    MarkColour Colour;  // its own colour or the series colour

    // Same position and colour.
    bool operator==(const SeriesMark&) const = default;
};

// DraggedPoint when no point is selected on the chart.
inline constexpr int NoDraggedPoint = -1;

// The marks of the point series in the order the series keeps them (ascending
// X, a mark after those of equal X added before it): the origin, the points in
// use (yellow for `draggedPoint`, lime otherwise) and the end point; with no
// point in use, (0, 0) and (127, 127).
std::vector<SeriesMark> PointSeriesMarks(const CurvePoints& points, int draggedPoint);

// The colour of both series for a curve whose validity is `curveValid`.
SeriesColour CurveSeriesColour(bool curveValid);
