// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/widgets/chart_series.h"

#include <QFont>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>

// The curve chart: black, flat, both axes fixed from 0 to 127, a line series
// with a point series drawn over it as square markers. It reports clicks on
// its series, every mouse movement and every release, and shows a pop-up menu
// on a right click or the context-menu key.
class TCurveChart : public QWidget {
    Q_OBJECT

public:
    // What a pixel falls on: a series and the position of a value in it.
    struct Hit {
        TChartSeries* Series;
        int ValueIndex;
    };

    // The upper end of both axes; both start at 0.
    static constexpr double AxisMax = 127.0;
    // How far beyond a marker's square a click still counts, in pixels.
    static constexpr int MarkerTolerance = 1;
    // How far from the line a click still counts, in pixels.
    static constexpr double LineTolerance = 3.0;

    // Mouse tracking on, strong focus, no titles until set.
    explicit TCurveChart(QWidget* parent = nullptr);

    // The line series, drawn first.
    TChartSeries& LineSeries() { return *FLineSeries; }
    // The point series, drawn over the line.
    TChartSeries& PointSeries() { return *FPointSeries; }

    // Titles of the bottom and left axes.
    void SetAxisTitles(const QString& bottom, const QString& left);

    // The plot area inside the widget: value 0 at its left and bottom edges,
    // 127 at its right and top edges.
    QRect PlotArea() const;
    // Chart values of a pixel position; linear, going on past the edges,
    // neither rounded nor limited.
    QPointF PixelToValue(const QPointF& px) const;
    // Pixel position of chart values; the inverse of PixelToValue.
    QPointF ValueToPixel(const QPointF& value) const;

    // What the pixel falls on: a marker of the point series first (its square
    // plus MarkerTolerance; the nearest, the one drawn on top on a tie), else
    // the line within LineTolerance (the value where the segment begins).
    std::optional<Hit> HitTest(const QPoint& px) const;

    // The chart's whole area at its current size, as drawn now.
    QImage RenderToImage() const;

    // Faint bars of what was played, drawn under the curve: In[v] rises from
    // the X axis at input v, Out[v] reaches from the Y axis at output v, each
    // a share of the tallest bar (0 to 1; the tallest takes a fifth of the
    // plot). Marks are inputs shown as small ticks on the X axis.
    struct VelocityBars {
        std::array<double, 128> In{};
        std::array<double, 128> Out{};
        std::vector<int> Marks;
    };
    // Shows the bars; std::nullopt hides them.
    void SetVelocityBars(std::optional<VelocityBars> bars);
    // A second curve over the first, dashed (a proposal to compare with);
    // std::nullopt hides it.
    void SetOverlayCurve(std::optional<std::array<int, 128>> curve);

    // Menu shown on a right click or the context-menu key; not owned.
    void SetPopupMenu(QMenu* menu) { FPopupMenu = menu; }

    // A press of any button on a value of a series.
    std::function<void(TCurveChart*, TChartSeries* series, int valueIndex, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)> OnClickSeries;
    // Every mouse movement over the chart, with or without a button held.
    std::function<void(TCurveChart*, Qt::KeyboardModifiers, int x, int y)> OnMouseMove;
    // Every release of a mouse button.
    std::function<void(TCurveChart*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)> OnMouseUp;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void PaintChart(QPainter& painter) const;
    void PaintAxes(QPainter& painter, const QRect& plot) const;
    void PaintVelocityBars(QPainter& painter, const QRect& plot) const;
    const QImage& AxesLayer(qreal devicePixelRatio) const;
    // The axes layer with the velocity bars over it, drawn again only when
    // the bars or the axes layer change: a drag repaints no bar.
    const QImage& Backdrop(qreal devicePixelRatio) const;
    void ShowPopupMenu(const QPoint& globalPos);

    std::unique_ptr<TChartSeries> FLineSeries;
    std::unique_ptr<TChartSeries> FPointSeries;
    QString FBottomTitle;
    QString FLeftTitle;
    QPointer<QMenu> FPopupMenu;
    std::optional<VelocityBars> FVelocityBars;
    mutable QImage FBackdrop;
    mutable qint64 FBackdropAxesKey = 0; // the axes layer it was drawn on
    mutable bool FBackdropStale = true;
    std::optional<std::array<int, 128>> FOverlayCurve;
    // The background, grid, ticks, labels and titles, drawn once for a size,
    // font and pixel ratio: their text and dotted lines cost most of a paint,
    // and a drag repaints the chart with every mouse movement.
    mutable QImage FAxesLayer;
    mutable QFont FAxesLayerFont;
};
