// SPDX-License-Identifier: GPL-3.0-or-later
// The played velocities on the main window: the faint bars and marks on the
// chart, its tooltip, their copy as text, and the calibration from playing.
#include "app/main_window.h"

#include "app/app_settings.h"
#include "app/calibration_dialog.h"
#include "app/clipboard_export.h"
#include "app/error_report.h"
#include "app/widgets/curve_chart.h"
#include "curve/velocity_counts.h"
#include "routing/midi_routing.h"

#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace {

// Each count as a share of the largest.
std::array<double, 128> Shares(const VelocityCounts& counts)
{
    std::array<double, 128> shares{};
    const std::uint64_t largest = *std::max_element(counts.begin() + 1, counts.end());
    if (largest == 0)
        return shares;
    for (std::size_t v = 1; v < 128; ++v)
        shares[v] = double(counts[v]) / double(largest);
    return shares;
}

} // namespace

void TfmMain::ShowPlayedVelocities()
{
    if (!PlayedVelocitiesFrame->isActive())
        PlayedVelocitiesFrame->start();
}

void TfmMain::UpdatePlayedVelocities()
{
    if (CalibrationDialog && routing)
        CalibrationDialog->ShowPlayed(routing->PlayedIn());
    if (!routing || !ActMidiPlayedVelocities->isChecked()) {
        Chart1->SetVelocityBars(std::nullopt);
        Chart1->setToolTip(QString());
        return;
    }
    const VelocitySummary summary = SummariseVelocities(routing->PlayedIn());
    TCurveChart::VelocityBars bars;
    bars.In = Shares(routing->PlayedIn());
    bars.Out = Shares(routing->PlayedOut());
    if (summary.Notes > 0)
        bars.Marks = {summary.Lowest, summary.P15, summary.Median, summary.P85, summary.Highest};
    Chart1->SetVelocityBars(std::move(bars));
    Chart1->setToolTip(QString::fromStdString(PlayedSummaryText(summary)));
}

void TfmMain::ActMidiPlayedVelocitiesExecute(QObject* /*Sender*/)
{
    TAppSettings().SetPlayedVelocities(ActMidiPlayedVelocities->isChecked());
    UpdatePlayedVelocities();
}

void TfmMain::ActMidiResetVelocitiesExecute(QObject* /*Sender*/)
{
    if (routing)
        routing->ResetPlayedVelocities();
    UpdatePlayedVelocities();
}

void TfmMain::ActCopyPlayedVelocitiesExecute(QObject* /*Sender*/)
{
    if (!routing)
        return;
    auto data = std::make_unique<QMimeData>();
    data->setText(QString::fromStdString(PlayedVelocitiesText(routing->PlayedIn(), routing->PlayedOut())));
    PlaceOnClipboard(QGuiApplication::clipboard(), std::move(data));
}

void TfmMain::ActMidiCalibrateExecute(QObject* /*Sender*/)
{
    if (!routing)
        return;
    if (CalibrationDialog) {
        CalibrationDialog->raise();
        CalibrationDialog->activateWindow();
        return;
    }
    CalibrationDialog = new TCalibrationDialog(TransferTable, routing->PlayedIn(), this);
    CalibrationDialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(CalibrationDialog, &QDialog::finished, this, [this](int result) {
        if (result == QDialog::Accepted) {
            if (const std::optional<CurvePoints> proposal = CalibrationDialog->Proposal())
                RunGuarded([this, points = *proposal] { SetCurvePoints(points); });
        }
        CalibrationDialog = nullptr;
    });
    CalibrationDialog->open();
}
