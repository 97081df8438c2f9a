// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "curve/curve_file.h"
#include "curve/curve_points.h"

#include <array>
#include <string>

// The curves that the save helper writes: every key but "Pt09a" (always 127)
// differs between any two of them, so a file shows which save wrote each key.
inline constexpr std::array<CurvePoints, 4> SavedCurves{{
    {2, {50, 80, 85, 90, 95, 100, 105, 110, 127}, {20, 110, 116, 120, 122, 123, 124, 125, 127}},
    {7, {10, 20, 30, 40, 50, 60, 70, 80, 127}, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
    {5, {11, 21, 31, 41, 51, 61, 71, 81, 127}, {12, 22, 32, 42, 52, 62, 72, 82, 92}},
    {8, {3, 6, 9, 12, 15, 18, 21, 24, 127}, {100, 101, 102, 103, 104, 105, 106, 107, 108}},
}};

// The points a curve file holds exactly as written: neither defaults under
// them nor slider ranges over them, so that a mix or a stray value shows.
inline CurvePoints ReadPointsAsWritten(const std::string& path)
{
    CurvePoints loaded{-1, {}, {}};
    loaded.In[8] = 127; // never read
    ReadCurveFile(path, [&loaded](CurveKey key, int value) {
        const auto point = static_cast<std::size_t>(key.Point - 1);
        if (key.Point == 0)
            loaded.Count = value;
        else if (key.Axis == PointAxis::In)
            loaded.In[point] = value;
        else
            loaded.Out[point] = value;
    });
    return loaded;
}
