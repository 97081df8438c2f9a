// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "curve/curve_points.h"
#include "curve/velocity_counts.h"

#include <array>
#include <cstdint>
#include <optional>

// The exact curve a fit aims at: the wanted output, fractional, for every input 0 to 127.
using TargetCurve = std::array<double, 128>;

// Points whose transfer table keeps as close as it can to `target` over the
// inputs `first` to `last` (0 <= first <= last <= 127): at most MaxPointCount
// points plus the end point, In values rising, Out values never going down,
// and every entry from `first` upward at least 1 (a played note stays a note).
// Points beyond the count stand on the end point.
CurvePoints FitCurvePoints(const TargetCurve& target, int first, int last);

// The largest distance between the table of `points` and `target` over the
// inputs `first` to `last`.
double TableDistance(const CurvePoints& points, const TargetCurve& target, int first, int last);

// Where a calibration's proposal leans: "Douce" lifts soft playing, "Dure"
// asks for more force, "Neutre" is the plain equalised curve.
enum class FitResponse { Soft, Neutral, Hard };

// Fewer notes than this give no proposal.
inline constexpr std::uint64_t MinCalibrationNotes = 20;

// The exact equalised mapping of the played velocities: from the player's
// lowest to the highest, the output follows the share of notes played at or
// below each velocity (mid-rank), spread over 1 to 127; one single velocity
// played maps to the middle, 64. The response then bends it (Neutre leaves
// it as it is). Below the lowest the curve falls straight to the origin;
// above the highest it stays at 127. All zero when nothing was counted.
TargetCurve EqualisedCurve(const VelocityCounts& counts, FitResponse response);

// The proposal for the played velocities: EqualisedCurve fitted over the
// player's range; nothing with fewer than MinCalibrationNotes notes.
std::optional<CurvePoints> FitPlayedCurve(const VelocityCounts& counts, FitResponse response);
