// SPDX-License-Identifier: GPL-3.0-or-later
#include "curve/preset_curves.h"

#include "curve/transfer_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

TEST(PresetCurves, TablesFollowTheirFormulas)
{
    for (const PresetCurve& preset : PresetCurves) {
        SCOPED_TRACE(preset.Caption);
        const CurvePoints points = PresetCurvePoints(preset);
        EXPECT_LE(points.Count, MaxPointCount);
        EXPECT_TRUE(CheckCurveValid(points));
        const TTransferTable table = BuildTransferTable(points);
        // The steepest start climbs 18 then 6 steps over inputs 1 and 2, while
        // the table holds a point's Out value over the input after it: eight
        // points cannot follow it within 2 steps there.
        const double within = preset.Exponent == 0.4 ? 3.5 : 2.0;
        for (int x = 1; x < 128; ++x) {
            const double formula = 127 * std::pow(x / 127.0, preset.Exponent);
            EXPECT_NEAR(table[std::size_t(x)], formula, within) << "at " << x;
            EXPECT_GE(table[std::size_t(x)], 1) << "silences " << x;
            EXPECT_GE(table[std::size_t(x)], table[std::size_t(x - 1)]) << "goes down at " << x;
        }
    }
}

TEST(PresetCurves, TheLineIsTheIdentity)
{
    const TTransferTable table = BuildTransferTable(PresetCurvePoints(PresetCurves.front()));
    for (int x = 0; x < 128; ++x)
        EXPECT_EQ(table[std::size_t(x)], x);
}

TEST(PresetCurves, FixedVelocityGivesEveryNoteTheSameVelocity)
{
    for (const auto& [asked, given] : {std::pair{1, 1}, {64, 64}, {127, 127}, {0, 1}, {200, 127}}) {
        const TTransferTable table = BuildTransferTable(FixedVelocityPoints(asked));
        EXPECT_EQ(table[0], 0);
        for (int x = 1; x < 128; ++x)
            EXPECT_EQ(table[std::size_t(x)], given) << "asked " << asked << " at " << x;
    }
}

} // namespace
