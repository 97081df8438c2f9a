// SPDX-License-Identifier: GPL-3.0-or-later
#include "curve/transfer_table.h"

#include "curve_builder.h"
#include "exact_table_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

struct TableCase {
    std::string name;
    CurvePoints points;
    bool valid;
    std::vector<std::pair<int, int>> entries;  // index -> expected entry
};

// Names the case in test listings.
void PrintTo(const TableCase& c, std::ostream* out)
{
    *out << c.name;
}

class TransferTableCases : public ::testing::TestWithParam<TableCase> {};

TEST_P(TransferTableCases, GivesTheEntriesAndValidity)
{
    const TableCase& c = GetParam();
    const TTransferTable table = BuildTransferTable(c.points);
    for (const auto& [index, expected] : c.entries)
        EXPECT_EQ(table[static_cast<std::size_t>(index)], expected) << "entry " << index;
    EXPECT_EQ(CheckCurveValid(c.points), c.valid);
}

std::vector<std::pair<int, int>> Identity()
{
    std::vector<std::pair<int, int>> entries;
    for (int i = 0; i < 128; ++i)
        entries.emplace_back(i, i);
    return entries;
}

INSTANTIATE_TEST_SUITE_P(
    Curves, TransferTableCases,
    ::testing::Values(
        TableCase{"DefaultCount2", CurveWith(2, {}), true,
                  {{0, 0}, {3, 1}, {10, 4}, {49, 19}, {50, 20}, {51, 20}, {52, 23}, {60, 47}, {61, 51},
                   {79, 106}, {80, 110}, {81, 110}, {83, 110}, {84, 111}, {100, 117}, {126, 126}, {127, 127}}},
        TableCase{"DefaultCount8", CurveWith(8, {}), true,
                  {{81, 110}, {82, 111}, {83, 113}, {84, 114}, {85, 116}, {86, 116}, {110, 125}, {111, 125},
                   {126, 126}, {127, 127}}},
        TableCase{"CountZeroIsIdentityWhateverTheEndOut", CurveWith(0, {}, 40), true, Identity()},
        TableCase{"SixtyFourBitRounding", CurveWith(1, {{7, 59}}), true,
                  {{0, 0}, {1, 8}, {2, 16}, {3, 25}, {4, 33}, {5, 42}, {6, 50}, {7, 58}, {8, 59}}},
        TableCase{"ZeroWidthSegmentGivesIndex", CurveWith(2, {{50, 20}, {51, 100}}), true,
                  {{50, 20}, {51, 51}, {52, 100}, {127, 127}}},
        TableCase{"FirstPointAtInZero", CurveWith(1, {{0, 90}}), true, {{0, 0}, {1, 90}, {2, 90}, {127, 127}}},
        TableCase{"EqualInValuesAreValid", CurveWith(2, {{50, 20}, {50, 100}}), true, {{50, 20}, {51, 100}}},
        TableCase{"DecreasingInLaterSegmentWins", CurveWith(2, {{50, 20}, {40, 60}}), false,
                  {{40, 16}, {41, 60}, {50, 67}, {127, 127}}},
        TableCase{"LastPointAt127IgnoresEndOut", CurveWith(1, {{127, 10}}, 100), true, {{126, 9}, {127, 10}}},
        TableCase{"LastPointAt126ZeroWidthEnd", CurveWith(1, {{126, 10}}, 100), true, {{126, 10}, {127, 127}}},
        TableCase{"EndOutZero", CurveWith(2, {}, 0), true, {{81, 110}, {82, 107}, {100, 64}, {127, 0}}},
        TableCase{"DecreasingPointBeyondCountIgnored", CurveWith(2, {{50, 20}, {80, 110}, {10, 5}}), true, {}},
        TableCase{"DecreasingAtPointEight", CurveWith(8, {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}, {6, 8}}),
                  false, {}}),
    [](const auto& info) { return info.param.name; });

TEST(TransferTable, ValuesOutsideTheSliderRangesCountAsTheNearestBound)
{
    CurvePoints wild{12, {-5, 300, 60, 70, 80, 90, 100, 110, 3}, {200, -7, 50, 60, 70, 80, 90, 100, 999}};
    CurvePoints asSliders{8, {0, 127, 60, 70, 80, 90, 100, 110, 127}, {127, 0, 50, 60, 70, 80, 90, 100, 127}};
    EXPECT_EQ(BuildTransferTable(wild), BuildTransferTable(asSliders));
    EXPECT_EQ(CheckCurveValid(wild), CheckCurveValid(asSliders));
    wild.Count = -3;
    EXPECT_EQ(BuildTransferTable(wild), BuildTransferTable(CurveWith(0, {})));
}

TEST(ExactReference, ReproducesTheSixtyFourBitCase)
{
    // Exact arithmetic and a 53-bit double both give 59 here.
    EXPECT_EQ(ExactSegmentValue(0, 0, 7, 59, 7), 58);
    EXPECT_EQ(static_cast<int>(59.0 / 7.0 * 7.0), 59);
    EXPECT_EQ(ExactReferenceTable(DefaultCurvePoints)[52], 23);
}

// Random curves, weighted towards the awkward shapes: equal and decreasing In
// values, zero-width segments, points at the ends of the range.
CurvePoints RandomCurve(std::mt19937& random)
{
    const auto uniform = [&random](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    CurvePoints curve{};
    curve.Count = uniform(0, 8);
    int previous = 0;
    for (std::size_t k = 0; k < 9; ++k) {
        int in = 0;
        switch (uniform(0, 6)) {
        case 0: in = previous; break;
        case 1: in = previous + 1; break;
        case 2: in = previous - uniform(1, 30); break;
        case 3: in = uniform(0, 1) == 0 ? 0 : uniform(125, 127); break;
        case 4: in = previous + uniform(1, 20); break;
        default: in = uniform(0, 127); break;
        }
        curve.In[k] = std::clamp(in, 0, 127);
        curve.Out[k] = uniform(0, 3) == 0 ? 127 * uniform(0, 1) : uniform(0, 127);
        previous = curve.In[k];
    }
    curve.In[8] = 127;
    return curve;
}

TEST(TransferTable, MatchesTheExactReferenceOnRandomCurves)
{
    std::mt19937 random(20240611);
    for (int n = 0; n < 5000; ++n) {
        const CurvePoints curve = RandomCurve(random);
        const TTransferTable table = BuildTransferTable(curve);
        const std::array<int, 128> expected = ExactReferenceTable(curve);
        for (std::size_t i = 0; i < 128; ++i)
            ASSERT_EQ(table[i], expected[i]) << "curve " << n << ", entry " << i;
    }
}

TEST(TransferTable, MatchesTheExactReferenceOnEveryOnePointCurve)
{
    // Every segment from the origin, and an end segment after each.
    for (int xe = 0; xe <= 127; ++xe) {
        for (int ye = 0; ye <= 127; ++ye) {
            const CurvePoints curve = CurveWith(1, {{xe, ye}}, 127 - ye);
            const TTransferTable table = BuildTransferTable(curve);
            const std::array<int, 128> expected = ExactReferenceTable(curve);
            for (std::size_t i = 0; i < 128; ++i)
                ASSERT_EQ(table[i], expected[i]) << "point (" << xe << ", " << ye << "), entry " << i;
        }
    }
}

struct EnabledCase {
    int count;
    std::vector<int> enabledInTags;   // tags whose In slider is enabled (0: the count slider)
    std::vector<int> enabledOutTags;  // tags whose Out slider is enabled
};

TEST(SliderEnabling, FollowsTheCount)
{
    const std::vector<EnabledCase> cases{
        {0, {0}, {0}},
        {1, {0, 1}, {0, 1, 9}},
        {3, {0, 1, 2, 3}, {0, 1, 2, 3, 9}},
        {8, {0, 1, 2, 3, 4, 5, 6, 7, 8}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
    };
    for (const EnabledCase& c : cases) {
        for (int tag = 0; tag <= 9; ++tag) {
            const auto listed = [tag](const std::vector<int>& tags) {
                return std::find(tags.begin(), tags.end(), tag) != tags.end();
            };
            EXPECT_EQ(IsSliderEnabled(tag, PointAxis::In, c.count), listed(c.enabledInTags))
                << "count " << c.count << ", In slider of tag " << tag;
            EXPECT_EQ(IsSliderEnabled(tag, PointAxis::Out, c.count), listed(c.enabledOutTags))
                << "count " << c.count << ", Out slider of tag " << tag;
        }
    }
}

}  // namespace
