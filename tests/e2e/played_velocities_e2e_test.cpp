// SPDX-License-Identifier: GPL-3.0-or-later
// Played velocities with the window in-process on a JACK server: a probe
// plays a known set of velocities, the window counts and copies them, and
// the calibration dialog proposes a curve from them.
#include "app/calibration_dialog.h"
#include "app/widgets/curve_chart.h"
#include "curve/curve_fit.h"
#include "window_on_jack.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>

#include <string>

namespace {

class PlayedOnJack : public WindowOnJack {
protected:
    // Plays each velocity as often as `times` says, a Note On and its Note
    // Off, and waits until all of it has come back.
    void Play(const std::vector<std::pair<std::uint8_t, int>>& times)
    {
        std::size_t sent = 0;
        for (const auto& [velocity, count] : times) {
            for (int i = 0; i < count; ++i) {
                probe->send({0x90, 60, velocity});
                probe->send({0x80, 60, 0});
                sent += 2;
                played[velocity] += 1;
                const std::uint8_t out = form->TransferTable[velocity];
                left[out == 0 ? 1 : out] += 1; // a played note never leaves silenced
                QTest::qWait(1);
            }
        }
        heard += sent;
        ASSERT_TRUE(WaitForEvents(heard)) << "not all notes came back";
    }

    QPushButton* Button(const char* name) const
    {
        return form->CalibrationDialog ? form->CalibrationDialog->findChild<QPushButton*>(name) : nullptr;
    }

    VelocityCounts played{}; // what the probe played since the counts were reset
    VelocityCounts left{};   // what left the window for them
};

TEST_F(PlayedOnJack, PlayedVelocitiesAreCountedCopiedAndCalibrateTheCurve)
{
    probe = std::make_unique<JackProbe>("keyboard");
    Start();
    form->ActMidiResetVelocities->trigger();

    // A spread over 20 to 100, heavier in the middle.
    std::vector<std::pair<std::uint8_t, int>> spread;
    for (int v = 20; v <= 100; v += 5)
        spread.emplace_back(std::uint8_t(v), 1 + (v >= 45 && v <= 75 ? 2 : 0));
    Play(spread);
    ASSERT_TRUE(QTest::qWaitFor([&] { return routing->PlayedIn() == played; }, 5000));
    EXPECT_EQ(routing->PlayedOut(), left);

    form->ActCopyPlayedVelocities->trigger();
    const QStringList lines = QGuiApplication::clipboard()->text().split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 128);
    EXPECT_EQ(lines[0], QStringLiteral("Vélocité\tEntrée\tSortie"));
    for (int v = 1; v < 128; ++v)
        EXPECT_EQ(lines[v], QStringLiteral("%1\t%2\t%3").arg(v).arg(played[std::size_t(v)]).arg(left[std::size_t(v)]));

    // The chart's tooltip follows within a frame.
    const QString summary = QStringLiteral("Joué : 31 notes, de 20 à 100, médiane 60");
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->Chart1->toolTip() == summary; }, 2000)) << form->Chart1->toolTip().toStdString();

    // "Annuler" changes nothing.
    const TTransferTable before = form->TransferTable;
    form->ActMidiCalibrate->trigger();
    ASSERT_NE(Button("btnCancel"), nullptr);
    Button("btnCancel")->click();
    EXPECT_EQ(form->CalibrationDialog, nullptr);
    EXPECT_EQ(form->TransferTable, before);

    // Too few notes: no proposal.
    form->CurveModified = false;
    form->ActMidiCalibrate->trigger();
    TCalibrationDialog* dialog = form->CalibrationDialog;
    ASSERT_NE(dialog, nullptr);
    Play({{30, 5}, {110, 5}});
    for (int step = 0; step < 3; ++step)
        Button("btnNext")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return SummariseVelocities(dialog->Played()).Notes == 10; }, 2000));
    EXPECT_FALSE(dialog->Proposal());
    EXPECT_FALSE(Button("btnApply")->isEnabled());
    EXPECT_TRUE(dialog->findChild<QLabel*>("lblStep")->text().startsWith(QStringLiteral("Trop peu de notes jouées")));

    // The three steps played, then "Appliquer": the proposal is the curve.
    Button("btnCancel")->click();
    form->ActMidiCalibrate->trigger();
    dialog = form->CalibrationDialog;
    ASSERT_NE(dialog, nullptr);
    VelocityCounts inDialog{};
    const auto playStep = [&](std::vector<std::pair<std::uint8_t, int>> times) {
        for (const auto& [v, n] : times)
            inDialog[v] += std::uint64_t(n);
        Play(times);
    };
    playStep({{18, 4}, {20, 3}, {22, 3}});
    Button("btnNext")->click();
    playStep({{105, 4}, {110, 4}, {112, 2}});
    Button("btnNext")->click();
    std::vector<std::pair<std::uint8_t, int>> free;
    for (int v = 30; v <= 100; v += 2)
        free.emplace_back(std::uint8_t(v), v % 4 == 0 ? 2 : 1);
    playStep(free);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->Played() == inDialog; }, 2000));
    Button("btnNext")->click();
    ASSERT_TRUE(dialog->Proposal());
    ASSERT_TRUE(Button("btnApply")->isEnabled());
    Button("btnApply")->click();
    EXPECT_EQ(form->CalibrationDialog, nullptr);

    const TTransferTable table = form->TransferTable;
    EXPECT_EQ(table, BuildTransferTable(*FitPlayedCurve(inDialog, FitResponse::Neutral)));
    EXPECT_TRUE(form->CurveModified);
    EXPECT_LE(form->tbPtsCnt->Position(), 8);
    // The player's range now spans the output: softest near 1, loudest near 127.
    EXPECT_GE(table[18], 1);
    EXPECT_LE(table[18], 5);
    EXPECT_GE(table[112], 123);
    for (int v = 1; v < 128; ++v)
        EXPECT_GE(table[std::size_t(v)], table[std::size_t(v - 1)]) << "at " << v;
    // The route uses it from the next note on.
    EXPECT_EQ(RoundTrip(60), Mapped(60));
    EXPECT_TRUE(reported.isEmpty()) << ReportedText();
}

} // namespace
