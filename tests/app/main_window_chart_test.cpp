// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"
#include "app/widgets/chart_series.h"
#include "app/widgets/curve_chart.h"
#include "app/widgets/step_slider.h"
#include "support/chart_mouse.h"
#include "support/window_fixture.h"

#include <QLabel>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace {

const QColor Lime(0, 255, 0);
const QColor Yellow(255, 255, 0);

// The real window, shown offscreen, with the user's mouse on its chart.
class MainWindowChartTest : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        StartWindow();
        ASSERT_TRUE(ShowWindow());
        mouse = std::make_unique<ChartMouse>(form->Chart1);
    }

    void TearDown() override
    {
        EXPECT_TRUE(reported.isEmpty()) << ReportedText();
        mouse.reset();
        WindowFixture::TearDown();
    }

    QString Readout() const { return form->lblMidiValues->text(); }

    // Where each point of the series stands and which colour of its own it has.
    std::vector<std::pair<QPointF, std::optional<QColor>>> Marks() const
    {
        std::vector<std::pair<QPointF, std::optional<QColor>>> marks;
        for (int i = 0; i < form->Series2->Count(); ++i)
            marks.push_back({{form->Series2->Value(i).X, form->Series2->Value(i).Y}, form->Series2->Value(i).Color});
        return marks;
    }

    std::unique_ptr<ChartMouse> mouse;
};

TEST_F(MainWindowChartTest, TheFreeReadoutRoundsTheValuesUnderTheMouse)
{
    // Near In 40.2 and Out 99.7, on a pixel whose values round to 40 and 100.
    const auto at = mouse->PixelWithin(40.2, 99.7, 39.5, 40.5, 99.5, 100.5);
    ASSERT_TRUE(at);
    mouse->Move(*at);
    EXPECT_EQ(Readout(), "In = 40 -> Out = 100");
    EXPECT_FALSE(form->CurveModified);
}

TEST_F(MainWindowChartTest, PickingPointTwoShowsItYellowWithoutModifyingTheCurve)
{
    mouse->Press(mouse->Pixel(80, 110));
    EXPECT_TRUE(form->PointDragging);
    EXPECT_EQ(form->DraggedPoint, 2);
    EXPECT_EQ(Readout(), "Pt#2 - In = 80 -> Out = 110 (Clic)");
    const auto marks = Marks();
    ASSERT_EQ(marks.size(), 4u);
    EXPECT_EQ(marks[0].second, std::nullopt);
    EXPECT_EQ(marks[1].second, Lime);
    EXPECT_EQ(marks[2].second, Yellow);
    EXPECT_EQ(marks[3].second, std::nullopt);
    EXPECT_FALSE(form->CurveModified);
}

TEST_F(MainWindowChartTest, DraggingTruncatesIntoBothSlidersAndRebuildsTwicePerMovement)
{
    // The values as each rebuild sees them: the In slider moves first.
    std::vector<std::pair<int, int>> rebuilds;
    for (TStepSlider* slider : {form->tbPtIn[1], form->tbPtOut[1]}) {
        slider->OnChange = [this, &rebuilds](TStepSlider* sender) {
            form->tbPt01aChange(sender);
            EXPECT_EQ(form->TransferTable, BuildTransferTable(form->CurrentPoints()));
            rebuilds.emplace_back(form->tbPtIn[1]->Position(), form->tbPtOut[1]->Position());
        };
    }
    mouse->Press(mouse->Pixel(80, 110));
    const auto at = mouse->PixelWithin(60.8, 99.3, 60.5, 61.0, 99.0, 99.5);
    ASSERT_TRUE(at);
    mouse->Move(*at);

    EXPECT_EQ(form->tbPtIn[1]->Position(), 60);
    EXPECT_EQ(form->tbPtOut[1]->Position(), 99);
    EXPECT_EQ(Readout(), "Pt#2 - In = 61 -> Out = 99 (Clic)");
    EXPECT_EQ(rebuilds, (std::vector<std::pair<int, int>>{{60, 110}, {60, 99}}));
    EXPECT_TRUE(form->CurveModified);
    EXPECT_EQ(form->Series2->Value(2).Color, Yellow);

    // A movement that reads as the same whole values changes nothing.
    form->CurveModified = false;
    rebuilds.clear();
    const auto near = mouse->PixelWithin(60.8, 99.3, 60.0, 61.0, 99.0, 100.0);
    ASSERT_TRUE(near);
    mouse->Move(*near);
    EXPECT_TRUE(rebuilds.empty());
    EXPECT_FALSE(form->CurveModified);
}

TEST_F(MainWindowChartTest, ADragPastAnEdgeStopsTheSliderAtThatEdge)
{
    const QRect plot = form->Chart1->PlotArea();
    // The readout shows where the mouse is, not where the point stopped.
    const QRegularExpression readout(QStringLiteral("^Pt#1 - In = (-?\\d+) -> Out = (-?\\d+) \\(Clic\\)$"));
    const struct {
        const char* name;
        QPoint at;
        int in, out;
        bool (*readIn)(int);
        bool (*readOut)(int);
    } cases[] = {
        {"left and below", {plot.left() - 30, plot.bottom() + 30}, 0, 0,
         [](int in) { return in < 0; }, [](int out) { return out < 0; }},
        {"right and above", {plot.right() + 30, plot.top() - 30}, 127, 127,
         [](int in) { return in > 127; }, [](int out) { return out > 127; }},
        {"left only", {plot.left() - 30, plot.center().y()}, 0, 63,
         [](int in) { return in < 0; }, [](int out) { return out == 63 || out == 64; }},
        {"below only", {plot.center().x(), plot.bottom() + 30}, 63, 0,
         [](int in) { return in == 63 || in == 64; }, [](int out) { return out < 0; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        mouse->Press(mouse->Pixel(form->tbPtIn[0]->Position(), form->tbPtOut[0]->Position()));
        ASSERT_EQ(form->DraggedPoint, 1);
        mouse->Move(c.at);
        EXPECT_EQ(form->tbPtIn[0]->Position(), c.in);
        EXPECT_EQ(form->tbPtOut[0]->Position(), c.out);
        const QRegularExpressionMatch shown = readout.match(Readout());
        ASSERT_TRUE(shown.hasMatch()) << Readout().toStdString();
        EXPECT_TRUE(c.readIn(shown.captured(1).toInt())) << Readout().toStdString();
        EXPECT_TRUE(c.readOut(shown.captured(2).toInt())) << Readout().toStdString();
        mouse->Release(c.at);
        // Back inside, so that the next press finds the marker.
        form->tbPtIn[0]->SetPosition(50);
        form->tbPtOut[0]->SetPosition(20);
    }
}

TEST_F(MainWindowChartTest, TheEndPointMovesOnlyUpAndDown)
{
    mouse->Press(mouse->Pixel(127, 127));
    EXPECT_EQ(form->DraggedPoint, 9);
    EXPECT_TRUE(Readout().startsWith("Pt#9 - ")) << Readout().toStdString();
    // The end point keeps the series colour: no marker turns yellow.
    for (const auto& mark : Marks())
        EXPECT_NE(mark.second, Yellow);

    const auto at = mouse->PixelWithin(100, 50.5, 99.0, 101.0, 50.0, 51.0);
    ASSERT_TRUE(at);
    mouse->Move(*at);
    EXPECT_EQ(form->tbPtOut[8]->Position(), 50);
    EXPECT_EQ(form->tbPtIn[8]->Position(), 127);
    EXPECT_EQ(Marks().back().first, QPointF(127, 50));
    EXPECT_EQ(form->TransferTable[127], 50);
}

TEST_F(MainWindowChartTest, TheOriginCanBePickedButNotMoved)
{
    const TTransferTable before = form->TransferTable;
    const CurvePoints points = form->CurrentPoints();
    mouse->Press(mouse->Pixel(0, 0));
    EXPECT_EQ(form->DraggedPoint, 0);
    EXPECT_EQ(Readout(), "Pt#0 - In = 0 -> Out = 0 (Clic)");
    mouse->Move(mouse->Pixel(30, 30));
    EXPECT_TRUE(Readout().startsWith("Pt#0 - In = 30 -> Out = 30")) << Readout().toStdString();
    EXPECT_EQ(form->CurrentPoints(), points);
    EXPECT_EQ(form->TransferTable, before);
    EXPECT_FALSE(form->CurveModified);
}

TEST_F(MainWindowChartTest, WithNoPointInUseTheEndPointDragOnlyMovesItsDisabledSlider)
{
    form->tbPtsCnt->SetPosition(0);
    mouse->Press(mouse->Pixel(127, 127));
    EXPECT_EQ(form->DraggedPoint, 9);
    const auto at = mouse->PixelWithin(100, 40.5, 99.0, 101.0, 40.0, 41.0);
    ASSERT_TRUE(at);
    mouse->Move(*at);

    EXPECT_FALSE(form->tbPtOut[8]->isEnabled());
    EXPECT_EQ(form->tbPtOut[8]->Position(), 40);
    for (int i = 0; i < 128; ++i)
        ASSERT_EQ(form->TransferTable[i], i) << i;
    EXPECT_EQ(Marks().back().first, QPointF(127, 127));
}

TEST_F(MainWindowChartTest, ThePickedPointStaysYellowAfterTheReleaseUntilTheCountChanges)
{
    mouse->Press(mouse->Pixel(80, 110));
    mouse->Release(mouse->Pixel(80, 110));
    EXPECT_FALSE(form->PointDragging);
    EXPECT_EQ(form->DraggedPoint, 2);
    EXPECT_EQ(form->Series2->Value(2).Color, Yellow);

    // Movements no longer drag: the free readout, and the point stays.
    mouse->Move(mouse->Pixel(20, 100));
    EXPECT_TRUE(Readout().startsWith("In = 20 -> Out = 100")) << Readout().toStdString();
    EXPECT_EQ(form->tbPtIn[1]->Position(), 80);
    EXPECT_EQ(form->Series2->Value(2).Color, Yellow);

    form->tbPtsCnt->SetPosition(3);
    EXPECT_EQ(form->DraggedPoint, -1);
    for (const auto& mark : Marks())
        EXPECT_NE(mark.second, Yellow);
}

TEST_F(MainWindowChartTest, AClickOnTheLineSelectsNothingAndStartsNoDrag)
{
    // Entry 20 of the default curve is 8, on the first segment, far from any marker.
    ASSERT_EQ(form->TransferTable[20], 8);
    const QPoint line = mouse->Pixel(20, 8);
    ASSERT_TRUE(form->Chart1->HitTest(line));
    ASSERT_EQ(form->Chart1->HitTest(line)->Series, form->Series1);
    const CurvePoints points = form->CurrentPoints();

    mouse->Press(line);
    EXPECT_FALSE(form->PointDragging);
    EXPECT_EQ(form->DraggedPoint, -1);
    mouse->Move(mouse->Pixel(40, 60));
    EXPECT_TRUE(Readout().startsWith("In = 40 -> Out = 60")) << Readout().toStdString();
    EXPECT_EQ(form->CurrentPoints(), points);
    EXPECT_FALSE(form->CurveModified);
}

TEST_F(MainWindowChartTest, OnACurveDrawnBackwardsTheClickedMarkerIsTheOnePicked)
{
    // Point 2 left of point 1: the series holds point 2 before point 1.
    form->tbPtIn[1]->SetPosition(40);
    ASSERT_FALSE(form->CurveValid);
    ASSERT_EQ(Marks()[1].first, QPointF(40, 110));

    mouse->Press(mouse->Pixel(40, 110));
    EXPECT_EQ(form->DraggedPoint, 2);
    EXPECT_EQ(Marks()[1].second, Yellow);
    const auto at = mouse->PixelWithin(30.5, 100.5, 30.0, 31.0, 100.0, 101.0);
    ASSERT_TRUE(at);
    mouse->Move(*at);
    EXPECT_EQ(form->tbPtIn[1]->Position(), 30);
    EXPECT_EQ(form->tbPtOut[1]->Position(), 100);
    EXPECT_EQ(form->tbPtIn[0]->Position(), 50);
    EXPECT_EQ(form->tbPtOut[0]->Position(), 20);
}

} // namespace
