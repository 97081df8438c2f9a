#pragma once

#include "curve/curve_points.h"

// The two curves that the save loop writes in turn: every key but "Pt09a"
// (always 127) differs between them, so a file shows which save wrote each key.
inline constexpr CurvePoints FirstSavedCurve{
    2,
    {50, 80, 85, 90, 95, 100, 105, 110, 127},
    {20, 110, 116, 120, 122, 123, 124, 125, 127},
};
inline constexpr CurvePoints SecondSavedCurve{
    7,
    {10, 20, 30, 40, 50, 60, 70, 80, 127},
    {1, 2, 3, 4, 5, 6, 7, 8, 9},
};
