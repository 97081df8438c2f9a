// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/widgets/curve_chart.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <optional>

// The user's mouse on a chart: presses, movements with a button held and
// releases, in chart pixels, as the window system delivers them.
class ChartMouse {
public:
    explicit ChartMouse(TCurveChart* chart)
        : chart(chart)
    {
    }

    // The pixel nearest to chart values (x, y).
    QPoint Pixel(double x, double y) const
    {
        const QPointF p = chart->ValueToPixel({x, y});
        return QPoint(int(std::lround(p.x())), int(std::lround(p.y())));
    }

    // A pixel near (x, y) whose chart values lie strictly inside the given
    // bounds, so that a test knows how they read and truncate.
    std::optional<QPoint> PixelWithin(double x, double y, double inLow, double inHigh, double outLow,
                                      double outHigh) const
    {
        const QPoint centre = Pixel(x, y);
        for (int dy = -3; dy <= 3; ++dy) {
            for (int dx = -3; dx <= 3; ++dx) {
                const QPoint p = centre + QPoint(dx, dy);
                const QPointF v = chart->PixelToValue(p);
                if (v.x() > inLow && v.x() < inHigh && v.y() > outLow && v.y() < outHigh)
                    return p;
            }
        }
        return std::nullopt;
    }

    void Press(const QPoint& at, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mousePress(chart, button, {}, at);
        held = button;
    }

    // A movement; during a drag the pressed button is held.
    void Move(const QPoint& at)
    {
        QMouseEvent event(QEvent::MouseMove, at, chart->mapToGlobal(at), Qt::NoButton, held, {});
        QApplication::sendEvent(chart, &event);
    }

    void Release(const QPoint& at)
    {
        QTest::mouseRelease(chart, held == Qt::NoButton ? Qt::LeftButton : held, {}, at);
        held = Qt::NoButton;
    }

private:
    TCurveChart* chart;
    Qt::MouseButton held = Qt::NoButton;
};
