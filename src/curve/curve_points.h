// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

// Which of a point's two values a slider or a file key holds.
enum class PointAxis { In, Out };

// Highest number of control points in use (the count slider's maximum).
inline constexpr int MaxPointCount = 8;
// Number of the end point, whose In value is fixed at 127.
inline constexpr int EndPoint = 9;
// Highest In or Out value (a point slider's maximum).
inline constexpr int MaxPointValue = 127;

// The control points as the window's sliders hold them; index k - 1 for point k.
struct CurvePoints {
    int Count;               // points in use, always points 1 to Count (0 to 8)
    std::array<int, 9> In;   // In values (X); point 9's is fixed at 127
    std::array<int, 9> Out;  // Out values (Y)

    // Same count and same values.
    bool operator==(const CurvePoints&) const = default;
};

// The positions the main window starts with.
inline constexpr CurvePoints DefaultCurvePoints{
    2,
    {50, 80, 85, 90, 95, 100, 105, 110, 127},
    {20, 110, 116, 120, 122, 123, 124, 125, 127},
};

// The points as the sliders would hold them: count within 0 to 8, every value
// within 0 to 127 (the nearest bound for anything outside), point 9's In at 127.
CurvePoints ClampCurvePoints(const CurvePoints& points);

// Whether the slider with tag `tag` (0 for the count slider, k for point k's
// sliders) and axis `axis` is enabled while `count` points are in use.
bool IsSliderEnabled(int tag, PointAxis axis, int count);
