// SPDX-License-Identifier: GPL-3.0-or-later
#include "curve/point_series.h"

#include "curve_builder.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

// Shows a mark in failure messages.
void PrintTo(const SeriesMark& mark, std::ostream* out)
{
    static const char* const colours[] = {"series", "lime", "yellow"};
    *out << "(" << mark.X << ", " << mark.Y << ", " << colours[static_cast<int>(mark.Colour)] << ")";
}

namespace {

constexpr MarkColour S = MarkColour::Series;
constexpr MarkColour L = MarkColour::Lime;
constexpr MarkColour Y = MarkColour::Yellow;

struct SeriesCase {
    std::string name;
    CurvePoints points;
    int draggedPoint;
    std::vector<SeriesMark> marks;
};

// Names the case in test listings.
void PrintTo(const SeriesCase& c, std::ostream* out)
{
    *out << c.name;
}

class PointSeriesCases : public ::testing::TestWithParam<SeriesCase> {};

TEST_P(PointSeriesCases, HoldsTheMarksInSeriesOrder)
{
    const SeriesCase& c = GetParam();
    EXPECT_EQ(PointSeriesMarks(c.points, c.draggedPoint), c.marks);
}

INSTANTIATE_TEST_SUITE_P(
    Curves, PointSeriesCases,
    ::testing::Values(
        SeriesCase{"Default", DefaultCurvePoints, NoDraggedPoint,
                   {{0, 0, S}, {50, 20, L}, {80, 110, L}, {127, 127, S}}},
        SeriesCase{"DraggedPointIsYellow", DefaultCurvePoints, 2,
                   {{0, 0, S}, {50, 20, L}, {80, 110, Y}, {127, 127, S}}},
        SeriesCase{"DraggedOriginOrPointOutOfUseColoursNothing", DefaultCurvePoints, 5,
                   {{0, 0, S}, {50, 20, L}, {80, 110, L}, {127, 127, S}}},
        SeriesCase{"CountZeroIgnoresEndOut", CurveWith(0, {}, 40), 1, {{0, 0, S}, {127, 127, S}}},
        SeriesCase{"DecreasingInSortedByX", CurveWith(2, {{50, 20}, {40, 60}}), NoDraggedPoint,
                   {{0, 0, S}, {40, 60, L}, {50, 20, L}, {127, 127, S}}},
        SeriesCase{"EqualXKeepsTheOrderOfAdding", CurveWith(2, {{0, 90}, {127, 10}}, 100), 1,
                   {{0, 0, S}, {0, 90, Y}, {127, 10, L}, {127, 100, S}}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
