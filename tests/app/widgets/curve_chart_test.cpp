// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/widgets/curve_chart.h"

#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const QColor Lime(0, 255, 0);
const QColor Yellow(255, 255, 0);

// The chart as the window places it.
class CurveChartTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        chart = new TCurveChart(&window);
        chart->setGeometry(0, 0, 350, 350);
        chart->SetAxisTitles(QStringLiteral("Entrée MIDI"), QStringLiteral("Sortie MIDI"));
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    QPoint Pixel(double x, double y) const
    {
        const QPointF p = chart->ValueToPixel({x, y});
        return QPoint(int(std::lround(p.x())), int(std::lround(p.y())));
    }

    // A mouse movement with the given buttons held, as the window system sends it.
    void Move(const QPoint& at, Qt::MouseButtons held, Qt::KeyboardModifiers keys = {})
    {
        QMouseEvent event(QEvent::MouseMove, at, chart->mapToGlobal(at), Qt::NoButton, held, keys);
        QApplication::sendEvent(chart, &event);
    }

    // Records every callback as one line of text.
    void Record()
    {
        chart->OnClickSeries = [this](TCurveChart* sender, TChartSeries* series, int index, Qt::MouseButton button,
                                      Qt::KeyboardModifiers keys, int x, int y) {
            EXPECT_EQ(sender, chart);
            log.push_back("click " + std::string(series == &chart->PointSeries() ? "points " : "line ") +
                          std::to_string(index) + " b" + std::to_string(int(button)) + " k" +
                          std::to_string(int(keys)) + " " + std::to_string(x) + "," + std::to_string(y));
        };
        chart->OnMouseMove = [this](TCurveChart* sender, Qt::KeyboardModifiers keys, int x, int y) {
            EXPECT_EQ(sender, chart);
            log.push_back("move k" + std::to_string(int(keys)) + " " + std::to_string(x) + "," + std::to_string(y));
        };
        chart->OnMouseUp = [this](TCurveChart* sender, Qt::MouseButton button, Qt::KeyboardModifiers keys, int x,
                                  int y) {
            EXPECT_EQ(sender, chart);
            log.push_back("up b" + std::to_string(int(button)) + " k" + std::to_string(int(keys)) + " " +
                          std::to_string(x) + "," + std::to_string(y));
        };
    }

    static std::string At(const QPoint& p) { return std::to_string(p.x()) + "," + std::to_string(p.y()); }

    QWidget window;
    TCurveChart* chart = nullptr;
    std::vector<std::string> log;
};

} // namespace

TEST_F(CurveChartTest, SeriesKeepsAscendingXWithEqualXAfterwards)
{
    TChartSeries& series = chart->PointSeries();
    // Y numbers the values in the order in which they must end up.
    const struct {
        double X, Y;
        int Position;
    } adds[] = {{5, 3, 0}, {3, 1, 0}, {5, 4, 2}, {1, 0, 0}, {5, 5, 4}, {9, 6, 5}, {3, 2, 2}};
    for (const auto& a : adds)
        EXPECT_EQ(series.Add(a.X, a.Y), a.Position) << a.X << "," << a.Y;
    ASSERT_EQ(series.Count(), 7);
    for (int i = 0; i < series.Count(); ++i)
        EXPECT_EQ(series.Value(i).Y, i);
    EXPECT_EQ(series.GetKind(), TChartSeries::Kind::Points);
    EXPECT_EQ(series.MarkerHalfSize(), 3);

    EXPECT_THROW(series.Add(std::nan(""), 1), std::invalid_argument);
    EXPECT_THROW(series.Add(1, INFINITY), std::invalid_argument);
    EXPECT_THROW(series.Value(7), std::out_of_range);
    EXPECT_EQ(series.Count(), 7) << "a refused value changes nothing";

    series.Clear();
    EXPECT_EQ(series.Count(), 0);
}

TEST_F(CurveChartTest, PixelsAndValuesConvertBothWaysAndPastTheEdges)
{
    const QRect plot = chart->PlotArea();
    EXPECT_TRUE(QRect(0, 0, 350, 350).contains(plot));
    EXPECT_EQ(chart->ValueToPixel({0, 0}), QPointF(plot.left(), plot.bottom()));
    EXPECT_EQ(chart->ValueToPixel({127, 127}), QPointF(plot.right(), plot.top()));

    for (const QPointF value : {QPointF(40.2, 99.7), QPointF(-10, 140), QPointF(200, -50), QPointF(63.5, 0)}) {
        const QPointF back = chart->PixelToValue(chart->ValueToPixel(value));
        EXPECT_NEAR(back.x(), value.x(), 1e-9);
        EXPECT_NEAR(back.y(), value.y(), 1e-9);
    }
    const QPointF belowLeft = chart->PixelToValue(QPointF(plot.left() - 10, plot.bottom() + 10));
    EXPECT_LT(belowLeft.x(), 0);
    EXPECT_LT(belowLeft.y(), 0);
    const QPointF aboveRight = chart->PixelToValue(QPointF(plot.right() + 10, plot.top() - 10));
    EXPECT_GT(aboveRight.x(), 127);
    EXPECT_GT(aboveRight.y(), 127);
}

TEST_F(CurveChartTest, HitTestFindsAMarkerWithinItsSquareAndOnePixel)
{
    chart->PointSeries().Add(0, 0);
    chart->PointSeries().Add(80, 110);
    const QPoint centre = Pixel(80, 110);
    const struct {
        QPoint Offset;
        bool Hit;
    } cases[] = {
        {{0, 0}, true},  {{4, 4}, true},  {{-4, 0}, true},  {{0, -4}, true}, {{-4, 4}, true},
        {{5, 0}, false}, {{0, 5}, false}, {{-5, -5}, false}, {{4, -5}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Offset.x() << "," << c.Offset.y());
        const auto hit = chart->HitTest(centre + c.Offset);
        ASSERT_EQ(hit.has_value(), c.Hit);
        if (hit) {
            EXPECT_EQ(hit->Series, &chart->PointSeries());
            EXPECT_EQ(hit->ValueIndex, 1);
        }
    }
}

TEST_F(CurveChartTest, HitTestPrefersMarkersThenTheTopmostOne)
{
    for (int i = 0; i < 128; ++i)
        chart->LineSeries().Add(i, i);
    chart->PointSeries().Add(0, 0);
    chart->PointSeries().Add(127, 127);
    chart->PointSeries().Add(127, 127);

    const auto onLine = chart->HitTest(Pixel(64, 64));
    ASSERT_TRUE(onLine);
    EXPECT_EQ(onLine->Series, &chart->LineSeries());

    chart->PointSeries().Clear();
    chart->PointSeries().Add(64, 64);
    chart->PointSeries().Add(127, 127);
    chart->PointSeries().Add(127, 127);
    const auto marker = chart->HitTest(Pixel(64, 64));
    ASSERT_TRUE(marker);
    EXPECT_EQ(marker->Series, &chart->PointSeries());
    EXPECT_EQ(marker->ValueIndex, 0);

    const auto stacked = chart->HitTest(Pixel(127, 127));
    ASSERT_TRUE(stacked);
    EXPECT_EQ(stacked->ValueIndex, 2) << "the marker drawn last";
}

TEST_F(CurveChartTest, HitTestFindsTheLineSegmentWithinThreePixels)
{
    // At a whole pixel row, so that the offsets below are exact distances.
    const double y = chart->PixelToValue({0, 200}).y();
    for (int i = 0; i < 128; ++i)
        chart->LineSeries().Add(i, y);
    const struct {
        double X;
        int Dy;
        std::optional<int> Index;
    } cases[] = {
        {64.5, 0, 64}, {64.5, 3, 64}, {64.5, -3, 64}, {64.5, 4, std::nullopt}, {64.5, -4, std::nullopt},
        {0.5, 0, 0},   {126.5, 2, 126},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.X << " " << c.Dy);
        const auto hit = chart->HitTest(Pixel(c.X, y) + QPoint(0, c.Dy));
        ASSERT_EQ(hit.has_value(), c.Index.has_value());
        if (hit) {
            EXPECT_EQ(hit->Series, &chart->LineSeries());
            EXPECT_EQ(hit->ValueIndex, *c.Index);
        }
    }
    EXPECT_FALSE(chart->HitTest(Pixel(127, y) + QPoint(4, 0))) << "the line ends at its last value";
}

TEST_F(CurveChartTest, MouseEventsReachTheCallbacks)
{
    for (int i = 0; i < 128; ++i)
        chart->LineSeries().Add(i, i);
    chart->PointSeries().Add(0, 0);
    chart->PointSeries().Add(80, 110);
    Record();

    const QPoint marker = Pixel(80, 110) + QPoint(2, -1);
    const QPoint line = Pixel(30.5, 30.5);
    const QPoint empty = Pixel(100, 10);
    const QPoint outside(-20, 400);
    QTest::mousePress(chart, Qt::LeftButton, Qt::ShiftModifier, marker);
    Move(empty, Qt::LeftButton, Qt::ShiftModifier);
    Move(outside, Qt::LeftButton);
    QTest::mouseRelease(chart, Qt::LeftButton, {}, outside);
    Move(empty, Qt::NoButton);
    QTest::mousePress(chart, Qt::LeftButton, {}, empty);
    QTest::mouseRelease(chart, Qt::LeftButton, {}, empty);
    QTest::mousePress(chart, Qt::MiddleButton, {}, line);
    QTest::mouseRelease(chart, Qt::MiddleButton, {}, line);

    const std::vector<std::string> expected = {
        "click points 1 b1 k33554432 " + At(marker),
        "move k33554432 " + At(empty),
        "move k0 " + At(outside),
        "up b1 k0 " + At(outside),
        "move k0 " + At(empty),
        "up b1 k0 " + At(empty),
        "click line 30 b4 k0 " + At(line),
        "up b4 k0 " + At(line),
    };
    EXPECT_EQ(log, expected);
}

TEST_F(CurveChartTest, RightClickReportsTheReleaseBeforeTheMenuOpens)
{
    QMenu menu;
    menu.addAction(QStringLiteral("Copier graphe (image)"));
    chart->SetPopupMenu(&menu);
    chart->PointSeries().Add(80, 110);
    Record();
    chart->OnMouseUp = [&](TCurveChart*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
        log.push_back(menu.isVisible() ? "up with menu open" : "up before menu");
    };

    const QPoint marker = Pixel(80, 110);
    QTest::mousePress(chart, Qt::RightButton, {}, marker);
    EXPECT_FALSE(menu.isVisible()) << "not while the button is down";
    QTest::mouseRelease(chart, Qt::RightButton, {}, marker);
    EXPECT_TRUE(menu.isVisible());
    EXPECT_EQ(log, (std::vector<std::string>{"click points 0 b2 k0 " + At(marker), "up before menu"}));
    menu.close();

    QTest::mousePress(chart, Qt::RightButton, {}, marker);
    QTest::mouseRelease(chart, Qt::RightButton, {}, QPoint(-30, 10));
    EXPECT_FALSE(menu.isVisible()) << "a right button taken away from the chart opens nothing";

    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(10, 10), chart->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(chart, &key);
    EXPECT_TRUE(menu.isVisible()) << "the context-menu key opens it too";
    menu.close();
}

TEST_F(CurveChartTest, RenderedImageHasTheWidgetsSizeAndTheMarkersColours)
{
    chart->LineSeries().SetColor(Lime);
    for (int i = 0; i < 128; ++i)
        chart->LineSeries().Add(i, i);
    chart->PointSeries().SetColor(Lime);
    chart->PointSeries().Add(0, 0);
    chart->PointSeries().Add(50, 20, QColor(Qt::red));
    chart->PointSeries().Add(80, 110, Yellow);
    chart->setFocus();

    const QImage image = chart->RenderToImage();
    EXPECT_EQ(image.size(), QSize(350, 350));
    EXPECT_EQ(image.pixelColor(Pixel(80, 110)), Yellow);
    EXPECT_EQ(image.pixelColor(Pixel(80, 110) + QPoint(3, -3)), Yellow) << "the square reaches 3 pixels";
    EXPECT_EQ(image.pixelColor(Pixel(50, 20)), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(Pixel(0, 0)), Lime) << "series colour without a colour of its own";
    EXPECT_EQ(image.pixelColor(Pixel(100, 100)), Lime) << "the line in the series colour";
    EXPECT_EQ(image.pixelColor(Pixel(100, 20)), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::black)) << "no focus mark in the copy";
    EXPECT_EQ(chart->grab().toImage().pixelColor(Pixel(80, 110)), Yellow) << "as on screen";

    chart->resize(200, 150);
    const QImage smaller = chart->RenderToImage();
    EXPECT_EQ(smaller.size(), QSize(200, 150));
    EXPECT_EQ(smaller.pixelColor(Pixel(80, 110)), Yellow);
}

TEST_F(CurveChartTest, SeriesChangesRepaintTheChart)
{
    struct PaintCounter : QObject {
        int Paints = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            Paints += event->type() == QEvent::Paint;
            return false;
        }
    } counter;
    QApplication::processEvents();
    chart->installEventFilter(&counter);
    for (int i = 0; i < 128; ++i)
        chart->LineSeries().Add(i, i);
    chart->PointSeries().SetColor(Yellow);
    EXPECT_EQ(counter.Paints, 0) << "coalesced, not painted inside each change";
    QApplication::processEvents();
    EXPECT_GE(counter.Paints, 1);
}

namespace {

TEST_F(CurveChartTest, PlayedVelocityBarsStayUnderTheCurveAndWithinAFifthOfThePlot)
{
    chart->LineSeries().SetColor(Lime);
    for (int i = 0; i < 128; ++i)
        chart->LineSeries().Add(i, i);
    chart->PointSeries().Add(64, 64, Yellow);
    const QImage bare = chart->RenderToImage();

    TCurveChart::VelocityBars bars;
    bars.In.fill(1.0);
    bars.Out.fill(1.0);
    bars.Marks = {10, 64, 120};
    chart->SetVelocityBars(bars);
    const QImage shown = chart->RenderToImage();
    const QRect plot = chart->PlotArea();
    int changed = 0;
    for (int y = 0; y < bare.height(); ++y) {
        for (int x = 0; x < bare.width(); ++x) {
            const QColor before = bare.pixelColor(x, y);
            // The curve and its points are drawn over the bars.
            if (before == Lime || before == Yellow) {
                EXPECT_EQ(shown.pixelColor(x, y), before) << x << ", " << y;
            }
            if (shown.pixel(x, y) != bare.pixel(x, y)) {
                ++changed;
                // Bars rise from the X axis or reach from the Y axis by a fifth of the plot at most.
                const bool nearX = y > plot.bottom() - plot.height() / 5 - 1;
                const bool nearY = x < plot.left() + plot.width() / 5 + 1;
                EXPECT_TRUE(plot.contains(x, y) && (nearX || nearY)) << x << ", " << y;
            }
        }
    }
    EXPECT_GT(changed, 0);

    chart->SetVelocityBars(std::nullopt);
    EXPECT_EQ(chart->RenderToImage(), bare);
}

} // namespace
