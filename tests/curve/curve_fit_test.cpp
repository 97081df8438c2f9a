// SPDX-License-Identifier: GPL-3.0-or-later
#include "curve/curve_fit.h"

#include "curve/transfer_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

namespace {

// About `notes` notes spread over 1 to 127 by the weights `density` gives.
VelocityCounts Played(std::uint64_t notes, const std::function<double(int)>& density)
{
    double total = 0;
    for (int v = 1; v < 128; ++v)
        total += density(v);
    VelocityCounts counts{};
    for (int v = 1; v < 128; ++v)
        counts[std::size_t(v)] = std::uint64_t(std::lround(double(notes) * density(v) / total));
    return counts;
}

double Bell(int v, double centre, double width)
{
    return std::exp(-0.5 * std::pow((v - centre) / width, 2));
}

struct Distribution {
    std::string name;
    VelocityCounts counts;
    bool smooth; // the equalised curve has no jump inside the player's range
};

std::vector<Distribution> Distributions()
{
    return {
        {"uniform", Played(12700, [](int) { return 1.0; }), true},
        {"narrow 30-90", Played(6100, [](int v) { return v >= 30 && v <= 90 ? 1.0 : 0.0; }), true},
        {"skewed soft", Played(5000, [](int v) { return std::pow(128.0 - v, 2); }), true},
        {"skewed loud", Played(5000, [](int v) { return v >= 40 ? std::exp((v - 127) / 20.0) : 0.0; }), true},
        {"two peaks", Played(5000, [](int v) { return Bell(v, 40, 8) + Bell(v, 100, 6); }), true},
        {"one velocity", Played(50, [](int v) { return v == 64 ? 1.0 : 0.0; }), false},
        {"two velocities", Played(40, [](int v) { return v == 30 || v == 100 ? 1.0 : 0.0; }), false},
    };
}

TEST(CurveFit, ProposalKeepsTheRulesAndFollowsTheEqualisedCurve)
{
    for (const Distribution& d : Distributions()) {
        const VelocitySummary played = SummariseVelocities(d.counts);
        for (FitResponse response : {FitResponse::Soft, FitResponse::Neutral, FitResponse::Hard}) {
            SCOPED_TRACE(d.name + " response " + std::to_string(int(response)));
            const std::optional<CurvePoints> fit = FitPlayedCurve(d.counts, response);
            ASSERT_TRUE(fit);
            EXPECT_GE(fit->Count, 1);
            EXPECT_LE(fit->Count, MaxPointCount);
            for (int k = 1; k < fit->Count; ++k) {
                EXPECT_GT(fit->In[std::size_t(k)], fit->In[std::size_t(k - 1)]);
                EXPECT_GE(fit->Out[std::size_t(k)], fit->Out[std::size_t(k - 1)]);
            }
            EXPECT_TRUE(CheckCurveValid(*fit));
            const TTransferTable table = BuildTransferTable(*fit);
            for (int v = 1; v < 128; ++v)
                EXPECT_GE(table[std::size_t(v)], table[std::size_t(v - 1)]) << "goes down at " << v;
            for (int v = played.Lowest; v < 128; ++v)
                EXPECT_GE(table[std::size_t(v)], 1) << "silences " << v;
            const TargetCurve exact = EqualisedCurve(d.counts, response);
            if (d.smooth) {
                EXPECT_LE(TableDistance(*fit, exact, played.Lowest, played.Highest), 4.0);
            }
            // Every velocity actually played is placed within reach of its exact place.
            for (int v = played.Lowest; v <= played.Highest; ++v) {
                if (d.counts[std::size_t(v)] > 0) {
                    EXPECT_NEAR(table[std::size_t(v)], exact[std::size_t(v)], 4.0) << "at " << v;
                }
            }
        }
    }
}

TEST(CurveFit, EqualisedCurveSpreadsThePlayersRange)
{
    const std::vector<Distribution> all = Distributions();
    // Uniform over the whole range: the identity.
    const TargetCurve uniform = EqualisedCurve(all[0].counts, FitResponse::Neutral);
    for (int v = 1; v < 128; ++v)
        EXPECT_NEAR(uniform[std::size_t(v)], v, 1e-9);
    // Narrow: 30 to 1, 90 to 127, straight between; above stays at the top.
    const TargetCurve narrow = EqualisedCurve(all[1].counts, FitResponse::Neutral);
    EXPECT_DOUBLE_EQ(narrow[30], 1);
    EXPECT_NEAR(narrow[60], 1 + 126 * 0.5, 1e-9);
    EXPECT_DOUBLE_EQ(narrow[90], 127);
    EXPECT_DOUBLE_EQ(narrow[100], 127);
    // One velocity: the middle.
    EXPECT_DOUBLE_EQ(EqualisedCurve(all[5].counts, FitResponse::Neutral)[64], 64);
    // The response bends toward louder (soft) or quieter (hard) output.
    const TargetCurve soft = EqualisedCurve(all[1].counts, FitResponse::Soft);
    const TargetCurve hard = EqualisedCurve(all[1].counts, FitResponse::Hard);
    EXPECT_GT(soft[60], narrow[60] + 5);
    EXPECT_LT(hard[60], narrow[60] - 5);
}

TEST(CurveFit, TooFewNotesGiveNoProposal)
{
    VelocityCounts counts{};
    counts[50] = 10;
    counts[90] = MinCalibrationNotes - 11;
    EXPECT_FALSE(FitPlayedCurve(counts, FitResponse::Neutral));
    counts[90] += 1;
    EXPECT_TRUE(FitPlayedCurve(counts, FitResponse::Neutral));
    EXPECT_FALSE(FitPlayedCurve(VelocityCounts{}, FitResponse::Neutral));
}

TEST(CurveFit, AnyWantedCurveGivesAValidTable)
{
    // A wiggly curve, even going down, still gives rising points.
    TargetCurve wiggly{};
    for (int x = 0; x < 128; ++x)
        wiggly[std::size_t(x)] = 64 + 60 * std::sin(x / 9.0);
    const CurvePoints points = FitCurvePoints(wiggly, 1, 127);
    EXPECT_LE(points.Count, MaxPointCount);
    EXPECT_TRUE(CheckCurveValid(points));
    const TTransferTable table = BuildTransferTable(points);
    for (int v = 1; v < 128; ++v) {
        EXPECT_GE(table[std::size_t(v)], 1);
        EXPECT_GE(table[std::size_t(v)], table[std::size_t(v - 1)]);
    }
}

} // namespace
