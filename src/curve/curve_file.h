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
// order "Count", "Pt01a", "Pt01b", ..., "Pt09a" (always 127), "Pt09b", each key
// reaching the file at once; values outside the sliders' ranges are written as
// the nearest bound. The first key that cannot be written stops the save with
// EIniFileError "Impossible d'écrire dans <path>"; the keys before it stay.
void WriteCurveFile(const std::string& path, const CurvePoints& points);

// Reads "Count", "Pt01a", "Pt01b", ..., "Pt08b", "Pt09b" (never "Pt09a") in
// this order, each with default 0, and hands each value to `assign` as it
// stands in the file before the next key is read. A missing file reads as all
// zeros; a file that cannot be read, or is larger than TIniFile::MaxFileSize,
// raises EIniFileError "Impossible de lire <path>...".
void ReadCurveFile(const std::string& path, const std::function<void(CurveKey key, int value)>& assign);

// The control points a curve file gives, as the window's sliders take them
// when it is opened: the default points first, every key read over them,
// then each value within its slider's range. Raises as ReadCurveFile does;
// a file that does not exist raises EIniFileError "Impossible de lire <path>".
CurvePoints ReadCurvePoints(const std::string& path);
