// SPDX-License-Identifier: GPL-3.0-or-later
// The curve on the main window: the slider handlers and the rebuild of the
// table and of both series after every change.
#include "app/main_window.h"

#include "app/widgets/curve_chart.h"
#include "app/widgets/named_colours.h"
#include "app/widgets/step_slider.h"
#include "curve/point_series.h"
#include "curve/transfer_table.h"
#include "routing/midi_routing.h"

#include <QLabel>

namespace {

using namespace NamedColour;

QColor SeriesColourFor(bool curveValid)
{
    return CurveSeriesColour(curveValid) == SeriesColour::Lime ? Lime : Red;
}

void ShowEnabled(TStepSlider* slider, bool enabled)
{
    slider->setEnabled(enabled);
    if (enabled)
        slider->SetButtonColors({Aqua, LightBlue, Aqua, LightBlue});
    else
        slider->SetButtonColors({Silver, Silver, Silver, Silver});
}

} // namespace

CurvePoints TfmMain::CurrentPoints() const
{
    CurvePoints points;
    points.Count = tbPtsCnt->Position();
    for (int k = 0; k < 9; ++k) {
        points.In[k] = tbPtIn[k]->Position();
        points.Out[k] = tbPtOut[k]->Position();
    }
    return points;
}

void TfmMain::SetCurvePoints(const CurvePoints& Points)
{
    const CurvePoints points = ClampCurvePoints(Points);
    // Silent sliders while the values arrive: the count handler rebuilds once.
    tbPtsCnt->OnChange = nullptr;
    SetPointSlidersSilent(true);
    for (int k = 0; k < 9; ++k) {
        tbPtIn[k]->SetPosition(points.In[std::size_t(k)]);
        tbPtOut[k]->SetPosition(points.Out[std::size_t(k)]);
    }
    tbPtsCnt->SetPosition(points.Count);
    tbPtsCnt->OnChange = [this](TStepSlider* sender) { tbPtsCntChange(sender); };
    SetPointSlidersSilent(false);
    tbPtsCntChange(nullptr);
}

void TfmMain::ApplyPresetCurve(const PresetCurve& Preset)
{
    SetCurvePoints(PresetCurvePoints(Preset));
}

void TfmMain::ActFixedVelocityExecute(QObject* /*Sender*/)
{
    if (const std::optional<int> velocity =
            prompts.AskNumber(this, QStringLiteral("Vélocité de toutes les notes jouées (1 à 127) :"), 1, MaxPointValue, 100))
        SetCurvePoints(FixedVelocityPoints(*velocity));
}

void TfmMain::tbPtsCntChange(TStepSlider* /*Sender*/)
{
    const int count = tbPtsCnt->Position();
    DraggedPoint = -1;
    lblPtsCnt->setText(QStringLiteral("Nombre de points : %1").arg(count));
    ShowEnabled(tbPtsCnt, true);
    for (int k = 1; k <= 9; ++k) {
        ShowEnabled(tbPtIn[k - 1], IsSliderEnabled(k, PointAxis::In, count));
        ShowEnabled(tbPtOut[k - 1], IsSliderEnabled(k, PointAxis::Out, count));
    }
    // The end point's In value is fixed at 127.
    ShowEnabled(tbPtIn[8], false);
    CurveModified = true;
    RecomputeCurve();
}

void TfmMain::tbPt01aChange(TStepSlider* /*Sender*/)
{
    CurveModified = true;
    RecomputeCurve();
}

void TfmMain::RecomputeCurve()
{
    ClearCurve();
    CheckCurveValid();
    PlotControlPoints();
    BuildTransferTable();
    if (OnCurveStateChange)
        OnCurveStateChange();
}

void TfmMain::ClearCurve()
{
    TransferTable.fill(0);
    Series1->Clear();
    Series2->Clear();
}

void TfmMain::CheckCurveValid()
{
    CurveValid = ::CheckCurveValid(CurrentPoints());
}

void TfmMain::PlotControlPoints()
{
    Series2->SetColor(SeriesColourFor(CurveValid));
    for (const SeriesMark& mark : PointSeriesMarks(CurrentPoints(), DraggedPoint)) {
        switch (mark.Colour) {
        case MarkColour::Series:
            Series2->Add(mark.X, mark.Y);
            break;
        case MarkColour::Lime:
            Series2->Add(mark.X, mark.Y, Lime);
            break;
        case MarkColour::Yellow:
            Series2->Add(mark.X, mark.Y, Yellow);
            break;
        }
    }
}

void TfmMain::BuildTransferTable()
{
    TransferTable = ::BuildTransferTable(CurrentPoints());
    if (routing)
        routing->PublishTransferTable(TransferTable);
    Series1->SetColor(SeriesColourFor(CurveValid));
    for (int i = 0; i < 128; ++i)
        Series1->Add(i, TransferTable[i]);
    if (Session)
        Session->CurveChanged();
}
