// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/chart_readout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(ChartReadoutTest, ReadoutsRoundToWholeNumbersAsPrintfDoes)
{
    const struct {
        double in, out;
        const char* free;
    } cases[] = {
        {40.2, 99.7, "In = 40 -> Out = 100"},
        // Exact halves go to the even neighbour.
        {0.5, 1.5, "In = 0 -> Out = 2"},
        {2.5, 126.5, "In = 2 -> Out = 126"},
        // Past the edges the values go on; just below zero reads 0, not -0.
        {-0.4, 131.6, "In = 0 -> Out = 132"},
        {-12.7, -0.5, "In = -13 -> Out = 0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FreeReadout(c.in, c.out), c.free) << c.in << " " << c.out;
    EXPECT_EQ(PointReadout(2, 60.8, 99.3), "Pt#2 - In = 61 -> Out = 99 (Clic)");
}

TEST(ChartReadoutTest, ValuesTruncateTowardZeroWithinTheIntRange)
{
    EXPECT_EQ(TruncatedValue(60.8), 60);
    EXPECT_EQ(TruncatedValue(-0.7), 0);
    EXPECT_EQ(TruncatedValue(-1.2), -1);
    EXPECT_EQ(TruncatedValue(131.6), 131);
    EXPECT_EQ(TruncatedValue(1e12), std::numeric_limits<int>::max());
    EXPECT_EQ(TruncatedValue(-1e12), std::numeric_limits<int>::min());
    EXPECT_EQ(TruncatedValue(std::nan("")), 0);
}

TEST(ChartReadoutTest, SeriesPositionsNameTheirPoints)
{
    const struct {
        const char* name;
        CurvePoints points;
        std::vector<int> expected; // point at each position, then one past the end
    } cases[] = {
        {"default", DefaultCurvePoints, {0, 1, 2, 9, -1}},
        {"no point in use", {0, DefaultCurvePoints.In, DefaultCurvePoints.Out}, {0, 9, -1}},
        {"backwards", {2, {50, 40, 0, 0, 0, 0, 0, 0, 127}, DefaultCurvePoints.Out}, {0, 2, 1, 9, -1}},
        {"equal In values keep the order of addition", {3, {60, 60, 0, 0, 0, 0, 0, 0, 127}, DefaultCurvePoints.Out},
         {0, 3, 1, 2, 9, -1}},
        {"a point at 127 stays before the end point", {1, {127, 0, 0, 0, 0, 0, 0, 0, 127}, DefaultCurvePoints.Out},
         {0, 1, 9, -1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (std::size_t i = 0; i < c.expected.size(); ++i)
            EXPECT_EQ(PointAtSeriesPosition(c.points, int(i)), c.expected[i]) << i;
        EXPECT_EQ(PointAtSeriesPosition(c.points, -1), -1);
    }
}

} // namespace
