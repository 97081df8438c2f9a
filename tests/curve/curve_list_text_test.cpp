// SPDX-License-Identifier: GPL-3.0-or-later
#include "curve/curve_list_text.h"

#include "curve/transfer_table.h"
#include "curve_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

// The points in use and the end point's Out value, which is all the text holds.
void ExpectSameCurve(const CurvePoints& a, const CurvePoints& b)
{
    ASSERT_EQ(a.Count, b.Count);
    for (int k = 0; k < a.Count; ++k) {
        EXPECT_EQ(a.In[std::size_t(k)], b.In[std::size_t(k)]) << "point " << k + 1;
        EXPECT_EQ(a.Out[std::size_t(k)], b.Out[std::size_t(k)]) << "point " << k + 1;
    }
    EXPECT_EQ(BuildTransferTable(a), BuildTransferTable(b));
}

TEST(CurveListText, WritesThePointsInUse)
{
    EXPECT_EQ(CurveListText(DefaultCurvePoints), "[0, 50, 80, 127; 0, 20, 110, 127]");
    EXPECT_EQ(CurveListText(CurveWith(0, {}, 90)), "[0, 127; 0, 127]");
    EXPECT_EQ(CurveListText(CurveWith(1, {{0, 90}}, 100)), "[0, 0, 127; 0, 90, 100]");
    EXPECT_EQ(CurveListText(CurveWith(2, {{40, 30}, {127, 110}}, 5)), "[0, 40, 127, 127; 0, 30, 110, 5]");
}

TEST(CurveListText, RoundTrip)
{
    const CurvePoints curves[] = {
        DefaultCurvePoints,
        CurveWith(0, {}, 127),
        CurveWith(1, {{0, 90}}, 127),
        CurveWith(1, {{0, 0}}, 64),
        CurveWith(2, {{50, 20}, {50, 100}}, 127),
        CurveWith(2, {{40, 30}, {127, 110}}, 5),
        CurveWith(8, {{10, 1}, {20, 5}, {30, 9}, {40, 20}, {60, 50}, {80, 90}, {100, 110}, {120, 126}}, 127),
    };
    for (const CurvePoints& curve : curves) {
        const std::string text = CurveListText(curve);
        SCOPED_TRACE(text);
        const CurveFromText read = ParseCurveListText(text);
        EXPECT_FALSE(read.Fitted);
        ExpectSameCurve(read.Points, curve);
    }
}

TEST(CurveListText, ReadsTheFormsPlayersPost)
{
    struct Case {
        std::string text;
        CurvePoints expected;
    };
    const Case cases[] = {
        {"[0, 40, 90, 127; 0, 30, 100, 127]", CurveWith(2, {{40, 30}, {90, 100}}, 127)},
        {"Velocity = [0, 40, 90, 127; 0, 30, 100, 127]", CurveWith(2, {{40, 30}, {90, 100}}, 127)},
        {"  velocity=[0,40,90,127;0,30,100,127]\r\n", CurveWith(2, {{40, 30}, {90, 100}}, 127)},
        {"[ 0 , 64 ; 10 , 100 ]", CurveWith(2, {{0, 10}, {64, 100}}, 100)},
        {"[64; 64]", CurveWith(1, {{64, 64}}, 64)},
        {"[0, 00040, 127; 0, 030, 0127]", CurveWith(1, {{40, 30}}, 127)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const CurveFromText read = ParseCurveListText(c.text);
        EXPECT_FALSE(read.Fitted);
        ExpectSameCurve(read.Points, c.expected);
    }
}

TEST(CurveListText, LongListsAreFittedToTheSliders)
{
    // 17 points on y = 127 (x / 127)^2.
    std::string ins, outs;
    for (int k = 0; k <= 16; ++k) {
        const int x = std::min(127, 8 * k);
        ins += (k ? ", " : "") + std::to_string(x);
        outs += (k ? ", " : "") + std::to_string(int(std::lround(127 * std::pow(x / 127.0, 2))));
    }
    const CurveFromText read = ParseCurveListText("[" + ins + "; " + outs + "]");
    EXPECT_TRUE(read.Fitted);
    EXPECT_LE(read.Points.Count, MaxPointCount);
    EXPECT_TRUE(CheckCurveValid(read.Points));
    const TTransferTable table = BuildTransferTable(read.Points);
    for (int x = 1; x < 128; ++x) {
        EXPECT_NEAR(table[std::size_t(x)], 127 * std::pow(x / 127.0, 2), 3.0) << "at " << x;
        EXPECT_GE(table[std::size_t(x)], 1);
    }

    // A straight line with no point between its ends is drawn by points too.
    const CurveFromText line = ParseCurveListText("[0, 127; 0, 100]");
    EXPECT_FALSE(line.Fitted);
    const TTransferTable lineTable = BuildTransferTable(line.Points);
    for (int x = 1; x < 128; ++x)
        EXPECT_NEAR(lineTable[std::size_t(x)], 100.0 * x / 127, 2.0) << "at " << x;
}

TEST(CurveListText, RefusesWhatIsNoCurve)
{
    struct Case {
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {"", "Pas une courbe : le texte attendu a la forme [0, 40, 90, 127; 0, 30, 100, 127]."},
        {"hello", "Pas une courbe : le texte attendu a la forme [0, 40, 90, 127; 0, 30, 100, 127]."},
        {"[0, 40, 127, 0, 30, 127]", "Pas une courbe : le texte attendu a la forme [0, 40, 90, 127; 0, 30, 100, 127]."},
        {"Velocity [0; 0]", "Pas une courbe : le texte attendu a la forme [0, 40, 90, 127; 0, 30, 100, 127]."},
        {"[0; 0; 0]", "Pas une courbe : le texte attendu a la forme [0, 40, 90, 127; 0, 30, 100, 127]."},
        {"[0, 40, 127; 0, 127]", "Pas une courbe : 3 entrées pour 2 sorties."},
        {"[0, 40, 127; 0, 200, 127]", "Pas une courbe : la valeur 200 sort de 0 à 127."},
        {"[0, -4, 127; 0, 20, 127]", "Pas une courbe : la valeur -4 sort de 0 à 127."},
        {"[0, 90, 40, 127; 0, 30, 100, 127]", "Pas une courbe : les entrées descendent (90 puis 40)."},
        {"[0, 40.5, 127; 0, 30, 127]", "Pas une courbe : la valeur « 40.5 » n'est pas un nombre entier."},
        {"[0, , 127; 0, 30, 127]", "Pas une courbe : la valeur «  » n'est pas un nombre entier."},
        {"[; 1]", "Pas une courbe : une des deux listes est vide."},
        {"[0, 99999999999; 0, 1]", "Pas une courbe : la valeur 99999999999 sort de 0 à 127."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            ParseCurveListText(c.text);
            ADD_FAILURE() << "accepted";
        } catch (const ECurveTextError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
}

} // namespace
