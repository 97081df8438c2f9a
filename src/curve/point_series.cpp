// SPDX-License-Identifier: GPL-3.0-or-later
#include "curve/point_series.h"

#include <algorithm>

std::vector<SeriesMark> PointSeriesMarks(const CurvePoints& given, int draggedPoint)
{
    const CurvePoints points = ClampCurvePoints(given);
    if (points.Count == 0)
        return {{0, 0, MarkColour::Series}, {MaxPointValue, MaxPointValue, MarkColour::Series}};

    std::vector<SeriesMark> marks;
    marks.reserve(static_cast<std::size_t>(points.Count) + 2);
    marks.push_back({0, 0, MarkColour::Series});
    for (int k = 1; k <= points.Count; ++k) {
        const MarkColour colour = k == draggedPoint ? MarkColour::Yellow : MarkColour::Lime;
        marks.push_back({points.In[k - 1], points.Out[k - 1], colour});
    }
    marks.push_back({MaxPointValue, points.Out[EndPoint - 1], MarkColour::Series});
    // The chart's series sorts by X and puts a value after those of equal X.
    std::stable_sort(marks.begin(), marks.end(),
                     [](const SeriesMark& a, const SeriesMark& b) { return a.X < b.X; });
    return marks;
}

SeriesColour CurveSeriesColour(bool curveValid)
{
    return curveValid ? SeriesColour::Lime : SeriesColour::Red;
}
