// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "curve/curve_points.h"

#include <cstddef>
#include <utility>
#include <vector>

// The default positions with `count` points in use, points 1 to
// `points.size()` at the (In, Out) given, and the end point's Out value.
inline CurvePoints CurveWith(int count, const std::vector<std::pair<int, int>>& points, int endOut = 127)
{
    CurvePoints curve = DefaultCurvePoints;
    curve.Count = count;
    for (std::size_t k = 0; k < points.size(); ++k) {
        curve.In[k] = points[k].first;
        curve.Out[k] = points[k].second;
    }
    curve.Out[8] = endOut;
    return curve;
}
