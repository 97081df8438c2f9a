// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "curve/curve_points.h"

#include <functional>
#include <string>

// A value of the curve file: the count (Point 0, as the count slider's tag) or
// one value of point 1 to 9.
struct CurveKey {
    int Point;       // 0 for "Count", else the point number 1 to 9
    PointAxis Axis;  // In ("PtNNa") or Out ("PtNNb"); In for the count

    // Same key.
    bool operator==(const CurveKey&) const = default;
};

// The curve file's section.
inline constexpr const char* CurveSection = "Points";

// The key's name in the file: "Count", "Pt01a" (In of point 1), "Pt01b" (its Out), ...
std::string CurveKeyName(CurveKey key);

// Writes the 19 keys into section "Points" of the INI file at `path`, in the
// order "Count", "Pt01a", "Pt01b", ..., "Pt09a" (always 127), "Pt09b"; values
// outside the sliders' ranges are written as the nearest bound. The whole
// curve reaches the file in one write (see TIniFile::Update), so the file
// holds the old curve or the new one, never a mix; every other section, key
// and line is kept. A save that fails raises EIniFileError "Impossible
// d'écrire dans <path>" and leaves the file as it was.
void WriteCurveFile(const std::string& path, const CurvePoints& points);

// The bytes WriteCurveFile puts in a file of its own: the 19 keys alone.
std::string CurveFileBytes(const CurvePoints& points);

// Reads the file once, then hands "Count", "Pt01a", "Pt01b", ..., "Pt08b",
// "Pt09b" (never "Pt09a"), in this order, to `assign`, each as it stands in
// the file (0 when missing or no integer). A missing file reads as all zeros;
// a file that cannot be read, or is larger than TIniFile::MaxFileSize, raises
// EIniFileError "Impossible de lire <path>..." before any value is handed over.
void ReadCurveFile(const std::string& path, const std::function<void(CurveKey key, int value)>& assign);

// The control points a curve file gives, as the window's sliders take them
// when it is opened: the default points first, every key read over them,
// then each value within its slider's range. Raises as ReadCurveFile does;
// a file that does not exist raises EIniFileError "Impossible de lire <path>".
CurvePoints ReadCurvePoints(const std::string& path);

// The control points of a curve file that holds a whole curve: "Count", the
// In and Out of each point in use and the end point's Out, each an integer.
// A file that lacks one (a file read while it is being written, or cut short)
// raises EIniFileError "Courbe incomplète dans <path> : <key> manque";
// otherwise the points are those ReadCurvePoints gives.
CurvePoints ReadCompleteCurvePoints(const std::string& path);
