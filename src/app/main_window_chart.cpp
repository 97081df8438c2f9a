// SPDX-License-Identifier: GPL-3.0-or-later
// Picking and dragging the control points on the chart, and the readout of
// the chart values under the mouse.
#include "app/main_window.h"

#include "app/chart_readout.h"
#include "app/widgets/curve_chart.h"
#include "app/widgets/step_slider.h"

#include <QLabel>

void TfmMain::BindChartEvents()
{
    Chart1->OnClickSeries = [this](TCurveChart* sender, TChartSeries* series, int valueIndex, Qt::MouseButton button,
                                   Qt::KeyboardModifiers shift, int x, int y) {
        Chart1ClickSeries(sender, series, valueIndex, button, shift, x, y);
    };
    Chart1->OnMouseMove = [this](TCurveChart* sender, Qt::KeyboardModifiers shift, int x, int y) {
        Chart1MouseMove(sender, shift, x, y);
    };
    Chart1->OnMouseUp = [this](TCurveChart* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
        Chart1MouseUp(sender, button, shift, x, y);
    };
}

void TfmMain::Chart1ClickSeries(TCurveChart* /*Sender*/, TChartSeries* Series, int ValueIndex,
                                Qt::MouseButton /*Button*/, Qt::KeyboardModifiers /*Shift*/, int X, int Y)
{
    // Only the markers can be picked: a click on the line selects nothing
    // and starts no drag.
    if (Series != Series2)
        return;
    PointDragging = true;
    const QPointF value = Chart1->PixelToValue(QPointF(X, Y));
    // The number of the point under the marker, which is its position in the
    // series only while the In values never decrease.
    DraggedPoint = PointAtSeriesPosition(CurrentPoints(), ValueIndex);
    lblMidiValues->setText(PointReadout(DraggedPoint, value.x(), value.y()));
    // Draws the selected point in yellow; the curve itself is unchanged.
    RecomputeCurve();
}

void TfmMain::Chart1MouseMove(TCurveChart* /*Sender*/, Qt::KeyboardModifiers /*Shift*/, int X, int Y)
{
    const QPointF value = Chart1->PixelToValue(QPointF(X, Y));
    if (!PointDragging) {
        lblMidiValues->setText(FreeReadout(value.x(), value.y()));
        return;
    }
    lblMidiValues->setText(PointReadout(DraggedPoint, value.x(), value.y()));
    // Each slider rebuilds the curve when it changes: first with the new In
    // value, then with both. The sliders clamp what lies past the axes.
    if (DraggedPoint >= 1 && DraggedPoint <= MaxPointCount) {
        tbPtIn[DraggedPoint - 1]->SetPosition(TruncatedValue(value.x()));
        tbPtOut[DraggedPoint - 1]->SetPosition(TruncatedValue(value.y()));
    } else if (DraggedPoint == EndPoint) {
        // The end point's In value is fixed at 127.
        tbPtOut[EndPoint - 1]->SetPosition(TruncatedValue(value.y()));
    }
}

void TfmMain::Chart1MouseUp(TCurveChart* /*Sender*/, Qt::MouseButton /*Button*/, Qt::KeyboardModifiers /*Shift*/,
                            int /*X*/, int /*Y*/)
{
    // The selection stays, and so does its yellow, until the next pick or
    // the next change of the point count.
    PointDragging = false;
}
