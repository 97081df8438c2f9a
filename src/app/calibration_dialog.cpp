// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/calibration_dialog.h"

#include "app/widgets/curve_chart.h"
#include "app/widgets/named_colours.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString StepText(TCalibrationDialog::Step step)
{
    switch (step) {
    case TCalibrationDialog::Step::Softest:
        return QStringLiteral("1/3 : jouez les notes les plus douces que vous pouvez (une dizaine), puis « Suivant ».");
    case TCalibrationDialog::Step::Loudest:
        return QStringLiteral("2/3 : jouez les notes les plus fortes que vous pouvez (une dizaine), puis « Suivant ».");
    case TCalibrationDialog::Step::Free:
        return QStringLiteral("3/3 : jouez librement, jusqu'à une minute, puis « Proposer ».");
    case TCalibrationDialog::Step::Proposal:
        return QStringLiteral("Courbe proposée (tirets) sur la courbe actuelle. Choisissez la réponse, puis « Appliquer ».");
    }
    return {};
}

} // namespace

TCalibrationDialog::TCalibrationDialog(const TTransferTable& current, const VelocityCounts& playedSoFar, QWidget* parent)
    : QDialog(parent)
    , FBaseline(playedSoFar)
{
    setObjectName(QStringLiteral("fmCalibration"));
    setWindowTitle(QStringLiteral("Calibrer d'après le jeu"));

    FChart = new TCurveChart(this);
    FChart->setObjectName(QStringLiteral("CalibrationChart"));
    FChart->setFixedSize(300, 300);
    FChart->SetAxisTitles(QStringLiteral("Entrée MIDI"), QStringLiteral("Sortie MIDI"));
    FChart->LineSeries().SetColor(NamedColour::Lime);
    for (int i = 0; i < 128; ++i)
        FChart->LineSeries().Add(i, current[std::size_t(i)]);

    FStepText = new QLabel(this);
    FStepText->setObjectName(QStringLiteral("lblStep"));
    FStepText->setWordWrap(true);
    FPlayedText = new QLabel(this);
    FPlayedText->setObjectName(QStringLiteral("lblPlayed"));
    FPlayedText->setWordWrap(true);

    FSoft = new QRadioButton(QStringLiteral("Douce"), this);
    FSoft->setObjectName(QStringLiteral("rbSoft"));
    FNeutral = new QRadioButton(QStringLiteral("Neutre"), this);
    FNeutral->setObjectName(QStringLiteral("rbNeutral"));
    FHard = new QRadioButton(QStringLiteral("Dure"), this);
    FHard->setObjectName(QStringLiteral("rbHard"));
    FNeutral->setChecked(true);
    auto* responses = new QButtonGroup(this);
    for (QRadioButton* button : {FSoft, FNeutral, FHard})
        responses->addButton(button);
    connect(responses, &QButtonGroup::buttonToggled, this, [this](QAbstractButton*, bool checked) {
        if (checked && FStep == Step::Proposal)
            Propose();
    });

    FNext = new QPushButton(QStringLiteral("Suivant"), this);
    FNext->setObjectName(QStringLiteral("btnNext"));
    FApply = new QPushButton(QStringLiteral("Appliquer"), this);
    FApply->setObjectName(QStringLiteral("btnApply"));
    auto* cancel = new QPushButton(QStringLiteral("Annuler"), this);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    connect(FNext, &QPushButton::clicked, this, [this] { NextStep(); });
    connect(FApply, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    FFreePlaying = new QTimer(this);
    FFreePlaying->setSingleShot(true);
    FFreePlaying->setInterval(FreePlayingMs);
    connect(FFreePlaying, &QTimer::timeout, this, [this] {
        if (FStep == Step::Free)
            NextStep();
    });

    auto* responseRow = new QHBoxLayout;
    for (QRadioButton* button : {FSoft, FNeutral, FHard})
        responseRow->addWidget(button);
    responseRow->addStretch();
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    for (QPushButton* button : {FNext, FApply, cancel})
        buttonRow->addWidget(button);
    auto* column = new QVBoxLayout(this);
    column->addWidget(FChart, 0, Qt::AlignHCenter);
    column->addWidget(FStepText);
    column->addWidget(FPlayedText);
    column->addLayout(responseRow);
    column->addLayout(buttonRow);
    setMinimumWidth(420);

    ShowPlayed(playedSoFar);
    ShowStep();
}

void TCalibrationDialog::ShowPlayed(const VelocityCounts& playedSoFar)
{
    for (std::size_t v = 0; v < 128; ++v) {
        // A reset of the counts meanwhile starts the dialog's own count afresh.
        if (playedSoFar[v] < FBaseline[v])
            FBaseline[v] = 0;
        FPlayed[v] = playedSoFar[v] - FBaseline[v];
    }
    const std::uint64_t largest = *std::max_element(FPlayed.begin() + 1, FPlayed.end());
    TCurveChart::VelocityBars bars;
    for (std::size_t v = 1; v < 128 && largest > 0; ++v)
        bars.In[v] = double(FPlayed[v]) / double(largest);
    const VelocitySummary summary = SummariseVelocities(FPlayed);
    if (summary.Notes > 0)
        bars.Marks = {summary.Lowest, summary.P15, summary.Median, summary.P85, summary.Highest};
    FChart->SetVelocityBars(std::move(bars));
    FPlayedText->setText(QString::fromStdString(PlayedSummaryText(summary)));
    if (FStep == Step::Proposal)
        Propose();
}

void TCalibrationDialog::NextStep()
{
    switch (FStep) {
    case Step::Softest:
        FStep = Step::Loudest;
        break;
    case Step::Loudest:
        FStep = Step::Free;
        FFreePlaying->start();
        break;
    case Step::Free:
        FStep = Step::Proposal;
        FFreePlaying->stop();
        break;
    case Step::Proposal:
        break;
    }
    ShowStep();
    if (FStep == Step::Proposal)
        Propose();
}

void TCalibrationDialog::ShowStep()
{
    FStepText->setText(StepText(FStep));
    FNext->setText(FStep == Step::Free ? QStringLiteral("Proposer") : QStringLiteral("Suivant"));
    FNext->setEnabled(FStep != Step::Proposal);
    for (QRadioButton* button : {FSoft, FNeutral, FHard})
        button->setEnabled(FStep == Step::Proposal);
    FApply->setEnabled(FStep == Step::Proposal && FProposal.has_value());
}

FitResponse TCalibrationDialog::Response() const
{
    if (FSoft->isChecked())
        return FitResponse::Soft;
    if (FHard->isChecked())
        return FitResponse::Hard;
    return FitResponse::Neutral;
}

void TCalibrationDialog::Propose()
{
    FProposal = FitPlayedCurve(FPlayed, Response());
    if (FProposal) {
        const TTransferTable table = BuildTransferTable(*FProposal);
        std::array<int, 128> curve{};
        std::copy(table.begin(), table.end(), curve.begin());
        FChart->SetOverlayCurve(curve);
        FStepText->setText(StepText(FStep));
    } else {
        FChart->SetOverlayCurve(std::nullopt);
        const VelocitySummary summary = SummariseVelocities(FPlayed);
        FStepText->setText(QStringLiteral("Trop peu de notes jouées : %1, il en faut au moins %2. Aucune courbe n'est proposée ; "
                                          "jouez encore, la proposition suivra.")
                               .arg(summary.Notes)
                               .arg(MinCalibrationNotes));
    }
    FApply->setEnabled(FProposal.has_value());
}
