// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "curve/curve_points.h"
#include "platform/exception.h"

#include <string>

// The short form in which players exchange curves: the inputs, a semicolon,
// then the outputs, in square brackets: "[0, 40, 90, 127; 0, 30, 100, 127]".

// The curve's points in that form: the origin, the points in use and the
// end point (127, its Out value); "[0, 127; 0, 127]" with no point in use.
std::string CurveListText(const CurvePoints& points);

// Text that is no curve of that form.
class ECurveTextError : public Exception {
public:
    using Exception::Exception;
};

// A curve read from that form.
struct CurveFromText {
    CurvePoints Points;
    bool Fitted; // it had more points than the sliders hold and was fitted to them
};

// Reads the form, with or without a "Velocity =" prefix, spaces anywhere
// between the parts. The list's first point, at input 0, is the origin when
// it maps to 0; its last, at input 127, gives the end point's Out value (a
// list that stops short of 127 stays level after its last point). Points
// between become points 1, 2, ...; more than the sliders hold, or a list
// whose line cannot be drawn by the points as they stand, is fitted (see
// FitCurvePoints) to the line through the list's values. Raises
// ECurveTextError with a French message for anything else: no brackets or
// semicolon, a value that is no whole number, lists of different lengths,
// values outside 0 to 127, inputs that go down.
CurveFromText ParseCurveListText(const std::string& text);
