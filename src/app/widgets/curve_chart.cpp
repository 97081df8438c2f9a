// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/widgets/curve_chart.h"

#include "app/widgets/named_colours.h"
#include "app/widgets/ui_font.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

constexpr int Pad = 4;
constexpr int TickLength = 4;
constexpr int LabelGap = 2;
constexpr int TickStep = 16;

using namespace NamedColour;
const QColor AxisLine(128, 128, 128);
const QColor GridLine(48, 48, 48);
// Played velocities stay faint beside the curve's own colours: dim and
// opaque on the black plot (blending each pixel would triple a repaint).
const QColor ArrivingBar(28, 53, 90);
const QColor LeavingBar(90, 60, 21);
const QColor VelocityMark(200, 200, 200);
const QColor OverlayLine(255, 0, 255);
constexpr int BarShareOfPlot = 5; // the tallest bar takes a fifth of the plot
constexpr int MarkLength = 4;

// Axis marks: every 16 and the end of the axis.
std::vector<int> TickValues()
{
    std::vector<int> ticks;
    for (int v = 0; v < int(TCurveChart::AxisMax); v += TickStep)
        ticks.push_back(v);
    ticks.push_back(int(TCurveChart::AxisMax));
    return ticks;
}

QPoint Rounded(const QPointF& p)
{
    return QPoint(int(std::lround(p.x())), int(std::lround(p.y())));
}

// Pixel of chart values in a plot area. Painting and hit testing measure the
// plot area once (it takes text measuring) and place every value with this.
QPointF PlotPixel(const QRect& plot, const QPointF& value)
{
    const double sx = (plot.width() - 1) / TCurveChart::AxisMax;
    const double sy = (plot.height() - 1) / TCurveChart::AxisMax;
    return QPointF(plot.left() + value.x() * sx, plot.bottom() - value.y() * sy);
}

double DistanceToSegment(const QPointF& p, const QPointF& a, const QPointF& b)
{
    const QPointF ab = b - a;
    const double lengthSquared = QPointF::dotProduct(ab, ab);
    const double t = lengthSquared > 0 ? std::clamp(QPointF::dotProduct(p - a, ab) / lengthSquared, 0.0, 1.0) : 0.0;
    const QPointF nearest = a + t * ab;
    return std::hypot(p.x() - nearest.x(), p.y() - nearest.y());
}

} // namespace

TCurveChart::TCurveChart(QWidget* parent)
    : QWidget(parent)
    , FLineSeries(std::make_unique<TChartSeries>(TChartSeries::Kind::Line, this))
    , FPointSeries(std::make_unique<TChartSeries>(TChartSeries::Kind::Points, this))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setFont(UiFont());
}

void TCurveChart::SetAxisTitles(const QString& bottom, const QString& left)
{
    FBottomTitle = bottom;
    FLeftTitle = left;
    FAxesLayer = QImage();
    update();
}

QRect TCurveChart::PlotArea() const
{
    const QFontMetrics fm = fontMetrics();
    const int textHeight = fm.height();
    const int labelWidth = fm.horizontalAdvance(QString::number(int(AxisMax)));
    const int left = Pad + textHeight + LabelGap + labelWidth + LabelGap + TickLength;
    const int bottom = TickLength + LabelGap + textHeight + LabelGap + textHeight + Pad;
    // Room for the half of the end labels that stands past the plot's edges.
    const int top = textHeight / 2 + Pad;
    const int right = labelWidth / 2 + Pad;
    // At least two pixels each way, so that 0 and 127 never share a pixel.
    return QRect(left, top, std::max(2, width() - left - right), std::max(2, height() - top - bottom));
}

QPointF TCurveChart::ValueToPixel(const QPointF& value) const
{
    return PlotPixel(PlotArea(), value);
}

QPointF TCurveChart::PixelToValue(const QPointF& px) const
{
    const QRect plot = PlotArea();
    const double sx = (plot.width() - 1) / AxisMax;
    const double sy = (plot.height() - 1) / AxisMax;
    return QPointF((px.x() - plot.left()) / sx, (plot.bottom() - px.y()) / sy);
}

std::optional<TCurveChart::Hit> TCurveChart::HitTest(const QPoint& px) const
{
    const QRect plot = PlotArea();
    const TChartSeries& points = *FPointSeries;
    const int reach = points.MarkerHalfSize() + MarkerTolerance;
    int best = -1;
    int bestDistance = std::numeric_limits<int>::max();
    for (int i = 0; i < points.Count(); ++i) {
        const QPoint centre = Rounded(PlotPixel(plot, {points.Value(i).X, points.Value(i).Y}));
        const int dx = std::abs(px.x() - centre.x());
        const int dy = std::abs(px.y() - centre.y());
        // Later markers are drawn on top, so they win a tie.
        if (dx <= reach && dy <= reach && std::max(dx, dy) <= bestDistance) {
            best = i;
            bestDistance = std::max(dx, dy);
        }
    }
    if (best >= 0)
        return Hit{FPointSeries.get(), best};

    const TChartSeries& line = *FLineSeries;
    double bestLine = LineTolerance;
    // A single value is a segment of no length; otherwise the last value
    // begins no segment.
    const int segments = line.Count() == 1 ? 1 : line.Count() - 1;
    for (int i = 0; i < segments; ++i) {
        const int end = std::min(i + 1, line.Count() - 1);
        const QPointF a = PlotPixel(plot, {line.Value(i).X, line.Value(i).Y});
        const QPointF b = PlotPixel(plot, {line.Value(end).X, line.Value(end).Y});
        // The segment that begins at a shared vertex wins the tie there.
        const double d = DistanceToSegment(px, a, b);
        if (d <= bestLine) {
            best = i;
            bestLine = d;
        }
    }
    if (best >= 0)
        return Hit{FLineSeries.get(), best};
    return std::nullopt;
}

QImage TCurveChart::RenderToImage() const
{
    QImage image(size(), QImage::Format_RGB32);
    if (image.isNull())
        return image;
    QPainter painter(&image);
    painter.setFont(font());
    PaintChart(painter);
    return image;
}

void TCurveChart::PaintAxes(QPainter& painter, const QRect& plot) const
{
    const QFontMetrics fm = painter.fontMetrics();
    const int textHeight = fm.height();

    for (int v : TickValues()) {
        const QPoint x = Rounded(PlotPixel(plot, {double(v), 0}));
        const QPoint y = Rounded(PlotPixel(plot, {0, double(v)}));
        if (v != 0) {
            painter.setPen(QPen(GridLine, 1, Qt::DotLine));
            painter.drawLine(x.x(), plot.top(), x.x(), plot.bottom());
            painter.drawLine(plot.left(), y.y(), plot.right(), y.y());
        }
        painter.setPen(AxisLine);
        painter.drawLine(x.x(), plot.bottom() + 1, x.x(), plot.bottom() + TickLength);
        painter.drawLine(plot.left() - TickLength, y.y(), plot.left() - 1, y.y());

        const QString label = QString::number(v);
        const int labelWidth = fm.horizontalAdvance(label);
        painter.setPen(Aqua);
        painter.drawText(QRect(x.x() - labelWidth / 2 - 1, plot.bottom() + TickLength + LabelGap, labelWidth + 2, textHeight),
                         Qt::AlignCenter, label);
        painter.drawText(QRect(0, y.y() - textHeight / 2, plot.left() - TickLength - LabelGap, textHeight),
                         Qt::AlignRight | Qt::AlignVCenter, label);
    }

    painter.setPen(AxisLine);
    painter.drawLine(plot.left() - 1, plot.top(), plot.left() - 1, plot.bottom() + 1);
    painter.drawLine(plot.left() - 1, plot.bottom() + 1, plot.right(), plot.bottom() + 1);

    painter.setPen(Aqua);
    const int titleTop = plot.bottom() + TickLength + LabelGap + textHeight + LabelGap;
    painter.drawText(QRect(plot.left(), titleTop, plot.width(), textHeight), Qt::AlignCenter, FBottomTitle);
    painter.save();
    painter.translate(Pad, plot.bottom());
    painter.rotate(-90);
    painter.drawText(QRect(0, 0, plot.height(), textHeight), Qt::AlignCenter, FLeftTitle);
    painter.restore();
}

const QImage& TCurveChart::AxesLayer(qreal devicePixelRatio) const
{
    const QSize pixels = (QSizeF(size()) * devicePixelRatio).toSize();
    if (FAxesLayer.size() != pixels || FAxesLayer.devicePixelRatio() != devicePixelRatio || FAxesLayerFont != font()) {
        FAxesLayer = QImage(pixels, QImage::Format_RGB32);
        FAxesLayer.setDevicePixelRatio(devicePixelRatio);
        FAxesLayerFont = font();
        if (!FAxesLayer.isNull()) {
            QPainter painter(&FAxesLayer);
            painter.setFont(font());
            painter.fillRect(QRect(QPoint(0, 0), size()), Qt::black);
            PaintAxes(painter, PlotArea());
        }
    }
    return FAxesLayer;
}

void TCurveChart::SetVelocityBars(std::optional<VelocityBars> bars)
{
    FVelocityBars = std::move(bars);
    FBackdropStale = true;
    update();
}

void TCurveChart::SetOverlayCurve(std::optional<std::array<int, 128>> curve)
{
    FOverlayCurve = curve;
    update();
}

void TCurveChart::PaintVelocityBars(QPainter& painter, const QRect& plot) const
{
    const VelocityBars& bars = *FVelocityBars;
    const double tallUp = (plot.height() - 1) / double(BarShareOfPlot);
    const double tallAcross = (plot.width() - 1) / double(BarShareOfPlot);
    // One-pixel rectangles: plain fills, the cheapest thing a painter draws.
    for (int v = 1; v < 128; ++v) {
        const QPoint at = Rounded(PlotPixel(plot, {double(v), double(v)}));
        if (const int up = int(std::lround(std::clamp(bars.In[std::size_t(v)], 0.0, 1.0) * tallUp)); up > 0)
            painter.fillRect(at.x(), plot.bottom() - up + 1, 1, up, ArrivingBar);
        if (const int across = int(std::lround(std::clamp(bars.Out[std::size_t(v)], 0.0, 1.0) * tallAcross)); across > 0)
            painter.fillRect(plot.left(), at.y(), across, 1, LeavingBar);
    }
    for (int v : bars.Marks)
        painter.fillRect(Rounded(PlotPixel(plot, {double(v), 0})).x(), plot.bottom() - MarkLength + 1, 1, MarkLength, VelocityMark);
}

const QImage& TCurveChart::Backdrop(qreal devicePixelRatio) const
{
    const QImage& axes = AxesLayer(devicePixelRatio);
    if (!FVelocityBars || axes.isNull())
        return axes;
    if (FBackdropStale || FBackdropAxesKey != axes.cacheKey()) {
        FBackdrop = axes.copy();
        FBackdropAxesKey = axes.cacheKey();
        FBackdropStale = false;
        QPainter painter(&FBackdrop);
        PaintVelocityBars(painter, PlotArea());
    }
    return FBackdrop;
}

void TCurveChart::PaintChart(QPainter& painter) const
{
    painter.drawImage(QPoint(0, 0), Backdrop(painter.device()->devicePixelRatioF()));
    const QRect plot = PlotArea();
    if (FOverlayCurve) {
        QPolygon overlay;
        for (int i = 0; i < 128; ++i)
            overlay << Rounded(PlotPixel(plot, {double(i), double((*FOverlayCurve)[std::size_t(i)])}));
        painter.setPen(QPen(OverlayLine, 1, Qt::DashLine));
        painter.drawPolyline(overlay);
    }

    // Crisp one-pixel line through the pixel of each value, as the hit test sees it.
    const TChartSeries& line = *FLineSeries;
    QPolygon polyline;
    for (int i = 0; i < line.Count(); ++i)
        polyline << Rounded(PlotPixel(plot, {line.Value(i).X, line.Value(i).Y}));
    painter.setPen(QPen(line.Color(), 1));
    painter.drawPolyline(polyline);

    const TChartSeries& points = *FPointSeries;
    const int half = points.MarkerHalfSize();
    for (int i = 0; i < points.Count(); ++i) {
        const TChartValue& v = points.Value(i);
        const QPoint centre = Rounded(PlotPixel(plot, {v.X, v.Y}));
        painter.fillRect(QRect(centre.x() - half, centre.y() - half, 2 * half + 1, 2 * half + 1),
                         v.Color.value_or(points.Color()));
    }
}

void TCurveChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    PaintChart(painter);
    // The focus mark belongs to the screen only, not to the copied picture.
    if (hasFocus()) {
        painter.setPen(QPen(AxisLine, 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void TCurveChart::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    if (OnClickSeries) {
        if (const auto hit = HitTest(p))
            OnClickSeries(this, hit->Series, hit->ValueIndex, event->button(), event->modifiers(), p.x(), p.y());
    }
    event->accept();
}

void TCurveChart::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    if (OnMouseMove)
        OnMouseMove(this, event->modifiers(), p.x(), p.y());
    event->accept();
}

void TCurveChart::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    if (OnMouseUp)
        OnMouseUp(this, event->button(), event->modifiers(), p.x(), p.y());
    // The menu opens only once the release has been reported, so that no
    // drag outlives it; a right button taken away from the chart opens nothing.
    if (event->button() == Qt::RightButton && rect().contains(p))
        ShowPopupMenu(event->globalPosition().toPoint());
    event->accept();
}

void TCurveChart::contextMenuEvent(QContextMenuEvent* event)
{
    // A right click opens the menu at its release (mouseReleaseEvent); only
    // the keyboard's request is served here, in the middle of the plot.
    if (event->reason() != QContextMenuEvent::Mouse)
        ShowPopupMenu(mapToGlobal(PlotArea().center()));
    event->accept();
}

void TCurveChart::ShowPopupMenu(const QPoint& globalPos)
{
    if (FPopupMenu)
        FPopupMenu->popup(globalPos);
}
