// SPDX-License-Identifier: GPL-3.0-or-later
#include "curve/curve_fit.h"

#include "curve/transfer_table.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

struct Knot {
    int X;
    int Y;
};

// One greedy pass at a given tolerance: from each point, the farthest next
// point whose segment keeps every entry in range within `tolerance` of the
// target. Segments always span two inputs or more: a segment of zero width
// gives its input, not its Out value, and could break the rise of the table.
// Empty when more points than the sliders hold would be needed.
std::optional<CurvePoints> FitWithin(const TargetCurve& target, int first, int last, double tolerance)
{
    const auto inRange = [&](int i) { return i >= first && i <= last; };
    // Whether the entry `value` at input i is acceptable; its distance through `error`.
    const auto fits = [&](int i, int value, double& error) {
        if (!inRange(i))
            return true;
        if (value < 1)
            return false;
        const double d = std::abs(value - target[static_cast<std::size_t>(i)]);
        error = std::max(error, d);
        return d <= tolerance;
    };
    constexpr int GiveUpAfter = 8; // infeasible ends in a row before the farthest one is taken as found

    std::vector<Knot> knots;
    int px = -1; // the segment after a point starts one input to its right, at its Out value
    int py = 0;
    for (;;) {
        std::optional<Knot> best;
        int misses = 0;
        for (int x = px + 2; x <= MaxPointValue && misses < GiveUpAfter; ++x) {
            if (x == MaxPointValue && knots.empty())
                break; // the end point needs a point before it
            if (x == MaxPointValue - 1)
                continue; // a point there would leave no room for the end's segment
            const double t = target[static_cast<std::size_t>(x)];
            const int low = std::max(py, static_cast<int>(std::floor(t - tolerance)) - 1);
            const int high = std::min(MaxPointValue, static_cast<int>(std::ceil(t + tolerance)) + 1);
            std::optional<Knot> here;
            double hereError = 0;
            for (int y = low; y <= high; ++y) {
                double error = 0;
                bool ok = true;
                for (int i = px + 1; i <= x && ok; ++i)
                    ok = fits(i, TransferSegmentValue(px + 1, py, x, y, i), error);
                // The next segment starts flat at this Out value.
                if (ok && x < MaxPointValue)
                    ok = fits(x + 1, y, error);
                if (ok && (!here || error < hereError)) {
                    here = Knot{x, y};
                    hereError = error;
                }
            }
            if (here) {
                best = here;
                misses = 0;
            } else {
                ++misses;
            }
        }
        if (!best)
            return std::nullopt;
        if (best->X == MaxPointValue) {
            CurvePoints points{};
            points.Count = static_cast<int>(knots.size());
            for (std::size_t k = 0; k < points.In.size(); ++k) {
                points.In[k] = k < knots.size() ? knots[k].X : MaxPointValue;
                points.Out[k] = k < knots.size() ? knots[k].Y : best->Y;
            }
            return points;
        }
        knots.push_back(*best);
        if (static_cast<int>(knots.size()) > MaxPointCount)
            return std::nullopt;
        px = best->X;
        py = best->Y;
    }
}

} // namespace

CurvePoints FitCurvePoints(const TargetCurve& target, int first, int last)
{
    // The smallest tolerance, by half steps, that the sliders' points can
    // keep. At the full range every Out value is close enough, so one point
    // and the end point always do.
    constexpr double FullRange = MaxPointValue + 1;
    for (double tolerance = 0.5; tolerance < FullRange; tolerance += 0.5) {
        if (auto points = FitWithin(target, first, last, tolerance))
            return *points;
    }
    return FitWithin(target, first, last, FullRange).value();
}

double TableDistance(const CurvePoints& points, const TargetCurve& target, int first, int last)
{
    const TTransferTable table = BuildTransferTable(points);
    double distance = 0;
    for (int i = first; i <= last; ++i)
        distance = std::max(distance, std::abs(table[static_cast<std::size_t>(i)] - target[static_cast<std::size_t>(i)]));
    return distance;
}

TargetCurve EqualisedCurve(const VelocityCounts& counts, FitResponse response)
{
    TargetCurve curve{};
    const VelocitySummary summary = SummariseVelocities(counts);
    if (summary.Notes == 0)
        return curve;
    // Mid-rank of each velocity: the notes below it plus half of its own.
    std::array<double, 128> midRank{};
    double below = 0;
    for (std::size_t v = 1; v < 128; ++v) {
        const double n = static_cast<double>(counts[v]);
        midRank[v] = below + n / 2;
        below += n;
    }
    const double low = midRank[static_cast<std::size_t>(summary.Lowest)];
    const double span = midRank[static_cast<std::size_t>(summary.Highest)] - low;
    const double bend = response == FitResponse::Soft ? 0.7 : response == FitResponse::Hard ? 1.4 : 1.0;
    for (int v = summary.Lowest; v <= summary.Highest; ++v) {
        const double share = span > 0 ? (midRank[static_cast<std::size_t>(v)] - low) / span : 0.5;
        curve[static_cast<std::size_t>(v)] = 1 + 126 * std::pow(share, bend);
    }
    const double atLowest = curve[static_cast<std::size_t>(summary.Lowest)];
    for (int v = 0; v < summary.Lowest; ++v)
        curve[static_cast<std::size_t>(v)] = atLowest * v / summary.Lowest;
    for (int v = summary.Highest + 1; v < 128; ++v)
        curve[static_cast<std::size_t>(v)] = MaxPointValue;
    return curve;
}

std::optional<CurvePoints> FitPlayedCurve(const VelocityCounts& counts, FitResponse response)
{
    const VelocitySummary summary = SummariseVelocities(counts);
    if (summary.Notes < MinCalibrationNotes)
        return std::nullopt;
    return FitCurvePoints(EqualisedCurve(counts, response), summary.Lowest, summary.Highest);
}
