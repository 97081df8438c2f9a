// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"
#include "app/widgets/curve_chart.h"
#include "app/widgets/step_slider.h"
#include "support/window_fixture.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace {

const QColor Lime(0, 255, 0);

class MainWindowTest : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        StartWindow();
        ASSERT_TRUE(dir.isValid());
    }

    QString PathIn(const QString& name) const { return dir.filePath(name); }

    void Modify() { form->tbPtOut[0]->SetPosition(form->tbPtOut[0]->Position() + 1); }

    QTemporaryDir dir;
};

TEST_F(MainWindowTest, StartsWithTheDefaultCurveAndNoFile)
{
    EXPECT_EQ(form->windowTitle(), "Velomorph");
    EXPECT_FALSE(form->CurveModified);
    EXPECT_FALSE(form->CloseRequested);
    EXPECT_TRUE(form->CurrentCurveFile.isEmpty());
    EXPECT_EQ(form->DraggedPoint, -1);
    EXPECT_EQ(form->tbPtsCnt->Position(), 2);
    EXPECT_EQ(form->lblPtsCnt->text(), "Nombre de points : 2");

    const QString appDir = QDir::toNativeSeparators(QCoreApplication::applicationDirPath()) + QDir::separator();
    EXPECT_EQ(form->AppDir, appDir);
    EXPECT_EQ(form->ReadmePath, appDir + "a_lire.txt");

    EXPECT_EQ(form->TransferTable[0], 0);
    EXPECT_EQ(form->TransferTable[52], 23);
    EXPECT_EQ(form->TransferTable[80], 110);
    EXPECT_EQ(form->TransferTable[127], 127);

    ASSERT_EQ(form->Series2->Count(), 4);
    const double expected[4][2] = {{0, 0}, {50, 20}, {80, 110}, {127, 127}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(form->Series2->Value(i).X, expected[i][0]);
        EXPECT_EQ(form->Series2->Value(i).Y, expected[i][1]);
    }
    EXPECT_EQ(form->Series2->Color(), Lime);
    EXPECT_EQ(form->Series1->Color(), Lime);
}

TEST_F(MainWindowTest, ControlsStandWhereTheFormPlacesThem)
{
    struct Place {
        const char* name;
        QRect rect;
    };
    const Place places[] = {
        {"Chart1", {8, 8, 350, 350}},      {"tbPtsCnt", {496, 8, 224, 26}},  {"tbPt01a", {376, 40, 169, 40}},
        {"tbPt01b", {551, 40, 169, 40}},   {"tbPt05a", {376, 184, 169, 40}}, {"tbPt09a", {376, 328, 169, 41}},
        {"tbPt09b", {551, 328, 169, 40}},  {"Bevel1", {8, 384, 713, 9}},     {"cbMIDIIn", {89, 399, 249, 21}},
        {"shMidiIn", {344, 399, 17, 22}},  {"cbMIDIOut", {89, 426, 249, 21}}, {"shMidiOut", {344, 426, 17, 22}},
        {"LedMidiIn", {375, 399, 13, 13}}, {"LedMidiOut", {375, 429, 13, 13}}, {"LedMidiErr", {455, 399, 13, 13}},
    };
    for (const Place& place : places) {
        auto* widget = form->findChild<QWidget*>(QString::fromLatin1(place.name));
        ASSERT_NE(widget, nullptr) << place.name;
        EXPECT_EQ(widget->geometry(), place.rect) << place.name;
    }
    const struct {
        const char* name;
        QPoint pos;
        const char* text;
    } labels[] = {
        {"lblMidiValues", {152, 364}, "In = ? -> Out = ?"}, {"Label1", {8, 402}, "Entrée MIDI"},
        {"Label2", {8, 430}, "Sortie MIDI"},                {"Label4", {394, 399}, "MIDI In"},
        {"Label3", {394, 429}, "MIDI Out"},                 {"Label10", {474, 399}, "Erreur MIDI"},
        {"Label5", {455, 429}, "Dernier message MIDI :"},   {"lblMidiLastMsg", {574, 429}, "In = ? -> Out = ?"},
    };
    for (const auto& label : labels) {
        auto* widget = form->findChild<QLabel*>(QString::fromLatin1(label.name));
        ASSERT_NE(widget, nullptr) << label.name;
        EXPECT_EQ(widget->pos(), label.pos) << label.name;
        EXPECT_EQ(widget->text(), QString::fromUtf8(label.text)) << label.name;
    }
    EXPECT_TRUE(form->Label1->font().bold());
    EXPECT_EQ(form->centralWidget()->size(), QSize(729, 459));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(form->pos(), QPoint(0, 0));
}

TEST_F(MainWindowTest, SlidersCarryTheirRangesTagsAndStates)
{
    EXPECT_EQ(form->tbPtsCnt->Min(), 0);
    EXPECT_EQ(form->tbPtsCnt->Max(), 8);
    EXPECT_EQ(form->tbPtsCnt->Tag(), 0);
    for (int k = 1; k <= 9; ++k) {
        for (TStepSlider* slider : {form->tbPtIn[k - 1], form->tbPtOut[k - 1]}) {
            EXPECT_EQ(slider->Min(), 0);
            EXPECT_EQ(slider->Max(), 127);
            EXPECT_EQ(slider->Tag(), k);
        }
    }
    // Count 2: points 1 and 2 in use, the end point's Out slider enabled.
    for (int k = 1; k <= 9; ++k) {
        EXPECT_EQ(form->tbPtIn[k - 1]->isEnabled(), k <= 2) << k;
        EXPECT_EQ(form->tbPtOut[k - 1]->isEnabled(), k <= 2 || k == 9) << k;
    }
    form->tbPtsCnt->SetPosition(0);
    for (int k = 1; k <= 9; ++k) {
        EXPECT_FALSE(form->tbPtIn[k - 1]->isEnabled()) << k;
        EXPECT_FALSE(form->tbPtOut[k - 1]->isEnabled()) << k;
    }
    EXPECT_EQ(form->tbPtOut[8]->GetButtonColors().Main, QColor(192, 192, 192));
    form->tbPtsCnt->SetPosition(8);
    for (int k = 1; k <= 9; ++k) {
        EXPECT_EQ(form->tbPtIn[k - 1]->isEnabled(), k != 9) << k;
        EXPECT_TRUE(form->tbPtOut[k - 1]->isEnabled()) << k;
    }
    const TStepSlider::ButtonColors enabled = form->tbPtOut[8]->GetButtonColors();
    EXPECT_EQ(enabled.Main, QColor(0, 255, 255));
    EXPECT_EQ(enabled.GradientEnd, QColor(201, 221, 246));
    EXPECT_EQ(form->tbPtIn[8]->GetButtonColors().Main, QColor(192, 192, 192));
}

TEST_F(MainWindowTest, EverySliderChangeRebuildsTheCurveAndMarksItModified)
{
    TStepSlider* sliders[] = {form->tbPtsCnt, form->tbPtIn[0], form->tbPtOut[1], form->tbPtOut[8], form->tbPtIn[5]};
    for (TStepSlider* slider : sliders) {
        form->CurveModified = false;
        form->DraggedPoint = 1;
        slider->SetPosition(slider->Position() == slider->Max() ? slider->Min() : slider->Position() + 1);
        EXPECT_TRUE(form->CurveModified) << slider->objectName().toStdString();
        EXPECT_EQ(form->TransferTable, BuildTransferTable(form->CurrentPoints()));
        ASSERT_EQ(form->Series1->Count(), 128);
        for (int i = 0; i < 128; ++i)
            ASSERT_EQ(form->Series1->Value(i).Y, form->TransferTable[i]) << i;
        // Only a change of the count forgets the selected point.
        EXPECT_EQ(form->DraggedPoint, slider == form->tbPtsCnt ? -1 : 1);
    }
}

TEST_F(MainWindowTest, SettingASliderToItsPositionChangesNothing)
{
    form->CurveModified = false;
    form->tbPtIn[0]->SetPosition(form->tbPtIn[0]->Position());
    EXPECT_FALSE(form->CurveModified);
}

TEST_F(MainWindowTest, DecreasingInValuesDrawTheCurveInRed)
{
    form->tbPtIn[1]->SetPosition(40);
    EXPECT_FALSE(form->CurveValid);
    EXPECT_EQ(form->Series1->Color(), QColor(255, 0, 0));
    EXPECT_EQ(form->Series2->Color(), QColor(255, 0, 0));
    // The points in use keep their own colour.
    EXPECT_EQ(form->Series2->Value(1).Color, std::optional<QColor>(Lime));
}

TEST_F(MainWindowTest, MenusOfferTheActionsInOrder)
{
    const auto captions = [](const QMenu* menu) {
        QStringList result;
        for (const QAction* action : menu->actions())
            result << (action->isSeparator() ? QStringLiteral("-") : action->text());
        return result;
    };
    const QList<QAction*> top = form->menuBar()->actions();
    ASSERT_EQ(top.size(), 4);
    EXPECT_EQ(top[0]->text(), "Fichier");
    EXPECT_EQ(top[1]->text(), "Edition");
    EXPECT_EQ(top[2]->text(), "MIDI");
    EXPECT_EQ(top[3]->text(), "Aide");
    EXPECT_EQ(captions(top[0]->menu()), QStringList({"Ouvrir", "Sauver", "Sauver sous...", "-", "Quitter"}));
    EXPECT_EQ(captions(top[1]->menu()),
              QStringList({"Copier graphe (image)", "Copier valeurs graphe (texte)", "Copier la courbe (texte)",
                           "Coller une courbe", "Copier les vélocités jouées", "-", "Courbes prédéfinies"}));
    EXPECT_EQ(captions(top[2]->menu()), QStringList({"Notes seulement", "-", "Vélocités jouées",
                                                     "Remettre à zéro les vélocités", "Calibrer d'après le jeu…"}));
    EXPECT_EQ(captions(top[3]->menu()), QStringList({"Index de l'aide", "-", "Lisez-moi...", "-", "A propos..."}));
    EXPECT_EQ(captions(form->AdvPopupMenu1),
              QStringList({"Copier graphe (image)", "Copier valeurs graphe (texte)", "-", "Ouvrir", "Sauver",
                           "Sauver sous..."}));
    EXPECT_FALSE(form->ActAppHelpIndex->isEnabled());
    for (const QAction* action : form->findChildren<QAction*>())
        EXPECT_TRUE(action->shortcut().isEmpty()) << action->text().toStdString();
}

TEST_F(MainWindowTest, KeyboardFocusFollowsTheFormOrder)
{
    QStringList expected{"Chart1", "tbPtsCnt"};
    for (int k = 1; k <= 9; ++k)
        expected << QStringLiteral("tbPt%1a").arg(k, 2, 10, QLatin1Char('0'))
                 << QStringLiteral("tbPt%1b").arg(k, 2, 10, QLatin1Char('0'));
    expected << "cbMIDIOut" << "cbMIDIIn";

    QStringList chain;
    QWidget* widget = form->Chart1;
    do {
        if (expected.contains(widget->objectName()))
            chain << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != form->Chart1);
    EXPECT_EQ(chain, expected);
}

TEST_F(MainWindowTest, SaveAsUsesTheCurveDialogAndNamesTheWindow)
{
    const QString path = PathIn("soft.dat");
    prompts.filesToSave.push_back(path);
    Modify();
    form->ActGraphSaveAs->trigger();

    ASSERT_EQ(prompts.saveDialogs.size(), 1u);
    EXPECT_EQ(prompts.saveDialogs[0].Filter, "Courbe(*.dat)|*.dat");
    EXPECT_EQ(prompts.saveDialogs[0].DefaultExt, "dat");
    EXPECT_EQ(prompts.saveDialogs[0].InitialDir, form->AppDir);
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(form->CurrentCurveFile, path);
    EXPECT_EQ(form->windowTitle(), "Velomorph - soft.dat");
    EXPECT_FALSE(form->CurveModified);

    EXPECT_TRUE(form->close());
    EXPECT_TRUE(prompts.questions.isEmpty());
}

TEST_F(MainWindowTest, SaveWithoutAnExistingCurrentFileAsksForAName)
{
    // No current file yet, then a current file deleted since.
    prompts.filesToSave.push_back(QString());
    form->ActGraphSave->trigger();
    EXPECT_EQ(prompts.saveDialogs.size(), 1u);

    const QString path = PathIn("gone.dat");
    form->SaveCurveFile(path);
    ASSERT_TRUE(QFile::remove(path));
    prompts.filesToSave.push_back(QString());
    form->ActGraphSave->trigger();
    EXPECT_EQ(prompts.saveDialogs.size(), 2u);
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(MainWindowTest, SaveWritesTheCurrentFileWithoutAsking)
{
    const QString path = PathIn("current.dat");
    form->SaveCurveFile(path);
    form->tbPtsCnt->SetPosition(5);
    form->ActGraphSave->trigger();
    EXPECT_TRUE(prompts.saveDialogs.empty());
    EXPECT_TRUE(prompts.questions.isEmpty());
    EXPECT_FALSE(form->CurveModified);

    form->tbPtsCnt->SetPosition(1);
    form->LoadCurveFile(path);
    EXPECT_EQ(form->tbPtsCnt->Position(), 5);
}

TEST_F(MainWindowTest, OpenAsksFirstWhenTheCurveWasModified)
{
    Modify();
    prompts.answers.push_back(IPrompts::Answer::Cancel);
    form->ActGraphOpen->trigger();
    EXPECT_EQ(prompts.questions, QStringList{"Courbe modifiée. Enregistrer ?"});
    EXPECT_TRUE(prompts.openDialogs.empty());

    prompts.answers.push_back(IPrompts::Answer::No);
    prompts.filesToOpen.push_back(QString());
    form->ActGraphOpen->trigger();
    ASSERT_EQ(prompts.openDialogs.size(), 1u);
    EXPECT_EQ(prompts.openDialogs[0].Filter, "Courbe(*.dat)|*.dat");
    EXPECT_EQ(prompts.openDialogs[0].InitialDir, form->AppDir);
    EXPECT_TRUE(form->CurveModified);
}

TEST_F(MainWindowTest, OpenLoadsTheChosenFile)
{
    const QString path = PathIn("load.dat");
    form->tbPtsCnt->SetPosition(4);
    form->SaveCurveFile(path);
    form->tbPtsCnt->SetPosition(1);
    prompts.answers.push_back(IPrompts::Answer::No);
    prompts.filesToOpen.push_back(path);
    form->ActGraphOpen->trigger();
    EXPECT_EQ(form->tbPtsCnt->Position(), 4);
    EXPECT_EQ(form->windowTitle(), "Velomorph - load.dat");
    EXPECT_FALSE(form->CurveModified);
}

TEST_F(MainWindowTest, CloseWithoutChangesAsksNothing)
{
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(prompts.questions.isEmpty());
}

TEST_F(MainWindowTest, CloseQuestionAnswers)
{
    const QString current = PathIn("current.dat");
    struct Case {
        const char* name;
        IPrompts::Answer answer;
        bool hasFile;
        QString dialogChoice;
        bool closes;
        bool saved;
    };
    const Case cases[] = {
        {"cancel keeps the window", IPrompts::Answer::Cancel, false, {}, false, false},
        {"no closes without saving", IPrompts::Answer::No, true, {}, true, false},
        {"yes saves to the current file", IPrompts::Answer::Yes, true, {}, true, true},
        {"yes with a cancelled dialog closes", IPrompts::Answer::Yes, false, {}, true, false},
        {"yes saves through the dialog", IPrompts::Answer::Yes, false, PathIn("chosen.dat"), true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form = std::make_unique<TfmMain>(prompts);
        prompts.saveDialogs.clear();
        QFile::remove(current);
        if (c.hasFile)
            form->SaveCurveFile(current);
        Modify();
        const int count = form->tbPtsCnt->Position() == 3 ? 4 : 3;
        form->tbPtsCnt->SetPosition(count);
        prompts.answers.push_back(c.answer);
        if (!c.hasFile && c.answer == IPrompts::Answer::Yes)
            prompts.filesToSave.push_back(c.dialogChoice);

        EXPECT_EQ(form->close(), c.closes);
        EXPECT_EQ(form->CloseRequested, c.closes);
        const QString target = c.hasFile ? current : c.dialogChoice;
        if (c.saved) {
            TfmMain reader(prompts);
            reader.LoadCurveFile(target);
            EXPECT_EQ(reader.tbPtsCnt->Position(), count);
        }
        EXPECT_EQ(prompts.saveDialogs.size(), (!c.hasFile && c.answer == IPrompts::Answer::Yes) ? 1u : 0u);
    }
}

TEST_F(MainWindowTest, AFailedSaveWhileClosingKeepsTheWindowOpen)
{
    Modify();
    prompts.answers.push_back(IPrompts::Answer::Yes);
    prompts.filesToSave.push_back(PathIn("missing-folder/x.dat"));
    // Through the event loop, as a click would arrive: the error reaches the report.
    EXPECT_FALSE(form->close());
    EXPECT_FALSE(form->CloseRequested);
    EXPECT_EQ(reported, QStringList{"Impossible d'écrire dans " + PathIn("missing-folder/x.dat")});
    EXPECT_TRUE(form->CurveModified);
}

TEST_F(MainWindowTest, AnErrorLeavingAnActionIsReportedAndTheProgramRunsOn)
{
    const QString path = PathIn("missing-folder/y.dat");
    prompts.filesToSave.push_back(path);
    QMetaObject::invokeMethod(form->ActGraphSaveAs, &QAction::trigger, Qt::QueuedConnection);
    QCoreApplication::processEvents();
    EXPECT_EQ(reported, QStringList{"Impossible d'écrire dans " + path});
    EXPECT_TRUE(form->CurrentCurveFile.isEmpty());
    EXPECT_EQ(form->windowTitle(), "Velomorph");
}

} // namespace
