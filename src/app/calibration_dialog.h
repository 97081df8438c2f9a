// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "curve/curve_fit.h"
#include "curve/transfer_table.h"
#include "curve/velocity_counts.h"

#include <QDialog>

#include <optional>

class QLabel;
class QPushButton;
class QRadioButton;
class QTimer;
class TCurveChart;

// "Calibrer d'après le jeu…": guides the player through three steps (the
// softest notes, the loudest, then free playing for up to a minute) while
// the velocities played since it opened rise on its chart, then proposes a
// curve drawn over the current one. "Appliquer" accepts the dialog with a
// proposal to take (Proposal); "Annuler" rejects it.
class TCalibrationDialog : public QDialog {
    Q_OBJECT

public:
    // Steps of the guide; Proposal once the curve is proposed.
    enum class Step { Softest, Loudest, Free, Proposal };
    // How long the free playing lasts at most before the curve is proposed.
    static constexpr int FreePlayingMs = 60'000;

    // `current` is the curve in force; `playedSoFar` the counts from which
    // the notes played in the dialog are told apart.
    TCalibrationDialog(const TTransferTable& current, const VelocityCounts& playedSoFar, QWidget* parent = nullptr);

    // The counts of notes played so far, since the program started or the
    // last reset; the dialog keeps those played since it opened.
    void ShowPlayed(const VelocityCounts& playedSoFar);
    // The step shown.
    Step CurrentStep() const { return FStep; }
    // Goes to the next step; from the free playing, proposes the curve.
    void NextStep();
    // The notes played since the dialog opened.
    const VelocityCounts& Played() const { return FPlayed; }
    // The proposed curve; nothing before the proposal or with too few notes.
    std::optional<CurvePoints> Proposal() const { return FProposal; }

private:
    void ShowStep();
    void Propose();
    FitResponse Response() const;

    VelocityCounts FBaseline;
    VelocityCounts FPlayed{};
    Step FStep = Step::Softest;
    std::optional<CurvePoints> FProposal;
    TCurveChart* FChart = nullptr;
    QLabel* FStepText = nullptr;
    QLabel* FPlayedText = nullptr;
    QRadioButton* FSoft = nullptr;
    QRadioButton* FNeutral = nullptr;
    QRadioButton* FHard = nullptr;
    QPushButton* FNext = nullptr;
    QPushButton* FApply = nullptr;
    QTimer* FFreePlaying = nullptr;
};
