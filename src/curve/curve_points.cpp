// SPDX-License-Identifier: GPL-3.0-or-later
#include "curve/curve_points.h"

#include <algorithm>

CurvePoints ClampCurvePoints(const CurvePoints& points)
{
    CurvePoints clamped = points;
    clamped.Count = std::clamp(points.Count, 0, MaxPointCount);
    for (int& value : clamped.In)
        value = std::clamp(value, 0, MaxPointValue);
    for (int& value : clamped.Out)
        value = std::clamp(value, 0, MaxPointValue);
    clamped.In[EndPoint - 1] = MaxPointValue;
    return clamped;
}

bool IsSliderEnabled(int tag, PointAxis axis, int count)
{
    if (tag == 0)
        return true;
    if (tag == EndPoint)
        return axis == PointAxis::Out && count > 0;  // nothing ever moves the end point's In
    return tag >= 1 && tag < EndPoint && tag <= count;
}
