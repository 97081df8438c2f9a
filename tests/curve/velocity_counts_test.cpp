// SPDX-License-Identifier: GPL-3.0-or-later
#include "curve/velocity_counts.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

VelocityCounts Counts(std::initializer_list<std::pair<int, std::uint64_t>> values)
{
    VelocityCounts counts{};
    for (const auto& [v, n] : values)
        counts[std::size_t(v)] = n;
    return counts;
}

TEST(VelocityCounts, Summary)
{
    struct Case {
        const char* name;
        VelocityCounts counts;
        VelocitySummary expected;
    };
    const Case cases[] = {
        {"nothing", {}, {}},
        {"one note", Counts({{90, 1}}), {1, 90, 90, 90, 90, 90}},
        {"ten at 1 to 10", Counts({{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1}, {8, 1}, {9, 1}, {10, 1}}),
         {10, 1, 2, 5, 9, 10}},
        {"weighted", Counts({{23, 100}, {64, 300}, {105, 12}}), {412, 23, 23, 64, 64, 105}},
        {"index 0 never counts", Counts({{0, 5}, {127, 2}}), {2, 127, 127, 127, 127, 127}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SummariseVelocities(c.counts), c.expected) << c.name;
}

TEST(VelocityCounts, SummaryText)
{
    EXPECT_EQ(PlayedSummaryText(SummariseVelocities(Counts({{23, 100}, {64, 300}, {105, 12}}))),
              "Joué : 412 notes, de 23 à 105, médiane 64");
    EXPECT_EQ(PlayedSummaryText(SummariseVelocities(Counts({{7, 1}}))), "Joué : 1 note, de 7 à 7, médiane 7");
    EXPECT_EQ(PlayedSummaryText({}), "Joué : aucune note");
}

TEST(VelocityCounts, TabSeparatedText)
{
    const std::string text = PlayedVelocitiesText(Counts({{1, 3}, {64, 7}}), Counts({{2, 3}, {127, 7}}));
    std::istringstream lines(text);
    std::string line;
    std::vector<std::string> all;
    while (std::getline(lines, line))
        all.push_back(line);
    ASSERT_EQ(all.size(), 128u);
    EXPECT_EQ(all[0], "Vélocité\tEntrée\tSortie");
    EXPECT_EQ(all[1], "1\t3\t0");
    EXPECT_EQ(all[2], "2\t0\t3");
    EXPECT_EQ(all[64], "64\t7\t0");
    EXPECT_EQ(all[127], "127\t0\t7");
    EXPECT_EQ(text.back(), '\n');
}

} // namespace
