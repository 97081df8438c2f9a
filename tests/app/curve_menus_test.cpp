// SPDX-License-Identifier: GPL-3.0-or-later
// The curve items of "Edition" and the played velocities of "MIDI": ready-made
// curves, the curve as a short list to copy and paste, and the counts of
// played velocities on the chart.
#include "app/app_settings.h"
#include "app/main_window.h"
#include "app/widgets/curve_chart.h"
#include "app/widgets/step_slider.h"
#include "curve/curve_list_text.h"
#include "curve/preset_curves.h"
#include "support/window_fixture.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// The items of the menu with that title, by their text (submenus included).
QStringList MenuItems(QMenu* menu)
{
    QStringList items;
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator())
            items << action->text();
    }
    return items;
}

QMenu* MenuNamed(QWidget* parent, const QString& title)
{
    for (QMenu* menu : parent->findChildren<QMenu*>()) {
        if (menu->title() == title)
            return menu;
    }
    return nullptr;
}

class CurveMenusTest : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        StartWindow();
        form->CurveModified = false;
    }
};

TEST_F(CurveMenusTest, TheMenusHoldTheNewItems)
{
    QMenu* edition = MenuNamed(form.get(), QStringLiteral("Edition"));
    ASSERT_NE(edition, nullptr);
    EXPECT_EQ(MenuItems(edition),
              (QStringList{"Copier graphe (image)", "Copier valeurs graphe (texte)", "Copier la courbe (texte)",
                           "Coller une courbe", "Copier les vélocités jouées", "Courbes prédéfinies"}));
    QMenu* presets = MenuNamed(form.get(), QStringLiteral("Courbes prédéfinies"));
    ASSERT_NE(presets, nullptr);
    EXPECT_EQ(MenuItems(presets),
              (QStringList{"Linéaire", "Très douce", "Douce", "Dure", "Très dure", "Vélocité fixe…"}));
    QMenu* midi = MenuNamed(form.get(), QStringLiteral("MIDI"));
    ASSERT_NE(midi, nullptr);
    EXPECT_EQ(MenuItems(midi), (QStringList{"Notes seulement", "Vélocités jouées", "Remettre à zéro les vélocités",
                                            "Calibrer d'après le jeu…"}));
    EXPECT_TRUE(form->ActMidiPlayedVelocities->isCheckable());
    // Without a MIDI side there is nothing played to count.
    EXPECT_FALSE(form->ActMidiCalibrate->isEnabled());
    EXPECT_FALSE(form->ActCopyPlayedVelocities->isEnabled());
}

TEST_F(CurveMenusTest, EachReadyMadeCurveSetsTheSlidersAndMarksTheCurveModified)
{
    QMenu* presets = MenuNamed(form.get(), QStringLiteral("Courbes prédéfinies"));
    ASSERT_NE(presets, nullptr);
    for (std::size_t i = 0; i < PresetCurves.size(); ++i) {
        SCOPED_TRACE(PresetCurves[i].Caption);
        form->CurveModified = false;
        presets->actions()[qsizetype(i)]->trigger();
        const CurvePoints expected = PresetCurvePoints(PresetCurves[i]);
        EXPECT_EQ(form->CurrentPoints(), expected);
        EXPECT_EQ(form->TransferTable, BuildTransferTable(expected));
        EXPECT_TRUE(form->CurveModified);
        EXPECT_EQ(form->tbPtIn[0]->isEnabled(), expected.Count >= 1);
    }
    EXPECT_TRUE(reported.isEmpty()) << ReportedText();
}

TEST_F(CurveMenusTest, AFixedVelocityIsAskedForAndGivenToEveryPlayedNote)
{
    const TTransferTable before = form->TransferTable;
    prompts.numbers = {std::nullopt, 64};
    form->ActFixedVelocity->trigger(); // cancelled
    EXPECT_EQ(form->TransferTable, before);
    EXPECT_FALSE(form->CurveModified);
    form->ActFixedVelocity->trigger();
    EXPECT_EQ(form->TransferTable[0], 0);
    for (int v = 1; v < 128; ++v)
        EXPECT_EQ(form->TransferTable[std::size_t(v)], 64) << v;
    EXPECT_TRUE(form->CurveModified);
    EXPECT_EQ(prompts.questions.size(), 2);
}

TEST_F(CurveMenusTest, TheCurveIsCopiedAndPastedAsAShortList)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    form->ActCopyCurveList->trigger();
    EXPECT_EQ(clipboard->text(), QStringLiteral("[0, 50, 80, 127; 0, 20, 110, 127]"));
    EXPECT_FALSE(form->CurveModified);

    clipboard->setText(QStringLiteral("Velocity = [0, 40, 90, 127; 0, 30, 100, 127]"));
    form->ActPasteCurve->trigger();
    EXPECT_EQ(form->tbPtsCnt->Position(), 2);
    EXPECT_EQ(form->tbPtIn[0]->Position(), 40);
    EXPECT_EQ(form->tbPtOut[0]->Position(), 30);
    EXPECT_EQ(form->tbPtIn[1]->Position(), 90);
    EXPECT_EQ(form->tbPtOut[1]->Position(), 100);
    EXPECT_EQ(form->tbPtOut[8]->Position(), 127);
    EXPECT_TRUE(form->CurveModified);
    EXPECT_TRUE(prompts.messages.isEmpty());
    form->ActCopyCurveList->trigger();
    EXPECT_EQ(clipboard->text(), QStringLiteral("[0, 40, 90, 127; 0, 30, 100, 127]"));

    // Text that is no curve: a message, and nothing changes.
    form->CurveModified = false;
    const CurvePoints before = form->CurrentPoints();
    clipboard->setText(QStringLiteral("[0, 90, 40, 127; 0, 30, 100, 127]"));
    form->ActPasteCurve->trigger();
    EXPECT_EQ(prompts.errors, QStringList{"Pas une courbe : les entrées descendent (90 puis 40)."});
    EXPECT_EQ(form->CurrentPoints(), before);
    EXPECT_FALSE(form->CurveModified);

    // More points than the sliders hold: fitted, and said so.
    clipboard->setText(QStringLiteral("[0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 127; "
                                      "0, 2, 5, 10, 17, 25, 35, 47, 60, 75, 90, 107, 127]"));
    form->ActPasteCurve->trigger();
    EXPECT_LE(form->tbPtsCnt->Position(), 8);
    EXPECT_TRUE(form->CurveModified);
    EXPECT_EQ(prompts.messages.size(), 1);
    EXPECT_NEAR(form->TransferTable[60], 35, 3);
    EXPECT_TRUE(reported.isEmpty()) << ReportedText();
}

class PlayedVelocitiesTest : public VirtualMidiWindowFixture {
protected:
    void SetUp() override
    {
        TAppSettings().SetPlayedVelocities(true);
        VirtualMidiWindowFixture::SetUp();
    }
    void TearDown() override
    {
        VirtualMidiWindowFixture::TearDown();
        TAppSettings().SetPlayedVelocities(true);
    }
};

TEST_F(PlayedVelocitiesTest, TheChartShowsWhatWasPlayedUntilHiddenOrReset)
{
    StartWithOneOfEach();
    EXPECT_TRUE(form->ActMidiPlayedVelocities->isChecked());
    form->ActMidiResetVelocities->trigger();
    for (std::uint8_t v : {40, 64, 64, 90})
        backend->injectBytes(0, {0x90, 60, v});
    ASSERT_TRUE(WaitForSent(4));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return form->Chart1->toolTip() == QStringLiteral("Joué : 4 notes, de 40 à 90, médiane 64"); }, 2000))
        << form->Chart1->toolTip().toStdString();

    // Hidden: no tooltip; remembered for the next start.
    form->ActMidiPlayedVelocities->trigger();
    EXPECT_FALSE(form->ActMidiPlayedVelocities->isChecked());
    EXPECT_TRUE(form->Chart1->toolTip().isEmpty());
    EXPECT_FALSE(TAppSettings().PlayedVelocities());
    form->ActMidiPlayedVelocities->trigger();
    EXPECT_TRUE(TAppSettings().PlayedVelocities());

    form->ActMidiResetVelocities->trigger();
    EXPECT_EQ(form->Chart1->toolTip(), QStringLiteral("Joué : aucune note"));
    EXPECT_EQ(routing->PlayedIn(), VelocityCounts{});
    EXPECT_TRUE(reported.isEmpty()) << ReportedText();
}

} // namespace
