// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/about_box.h"
#include "app/credits_strip.h"
#include "app/main_window.h"
#include "platform/shell_open.h"
#include "support/window_fixture.h"

#include "../platform/elf_image.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

const QColor Yellow(255, 255, 0);
const QColor Maroon(128, 0, 0);
const QColor Silver(192, 192, 192);

QColor TextColour(const QLabel* label)
{
    return label->palette().color(QPalette::WindowText);
}

// Presses Enter where the keyboard focus is in the box.
void PressEnter(TfmAbout* box)
{
    QWidget* target = box->focusWidget() ? box->focusWidget() : box;
    QTest::keyClick(target, Qt::Key_Return);
}

TEST(AboutBoxTest, ShowsTheRunningProgramsRecord)
{
    TfmAbout box(nullptr);
    EXPECT_EQ(box.lblVersion->text(), "1.0.0.0");
    EXPECT_TRUE(box.lblCopyright->text().contains("Velomorph")) << box.lblCopyright->text().toStdString();
    EXPECT_EQ(box.lblComments->text(), "Freeware");
}

TEST(AboutBoxTest, AnExecutableWithoutRecordShowsUpdatedAtRunTime)
{
    TfmAbout box(nullptr, QStringLiteral(VELOMORPH_NO_RECORD_EXE));
    for (const QLabel* label : {box.lblVersion, box.lblCopyright, box.lblComments})
        EXPECT_EQ(label->text(), "Updated at run-time") << label->objectName().toStdString();
}

TEST(AboutBoxTest, AStringMissingFromTheRecordLeavesItsLabelEmpty)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("partial"));
    const std::string block = "\\StringFileInfo\\040C04B0\\";
    const std::string image = MakeElfImage(
        true, false,
        {{".velomorph_version",
          VersionRecordBytes({{"\\VarFileInfo\\Translation", "040C04B0"}, {block + "FileVersion", "9.8.7.6"}})}});
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(image.data(), qint64(image.size()));
    file.close();

    TfmAbout box(nullptr, path);
    EXPECT_EQ(box.lblVersion->text(), "9.8.7.6");
    EXPECT_EQ(box.lblCopyright->text(), "");
    EXPECT_EQ(box.lblComments->text(), "");
}

TEST(AboutBoxTest, ItemsStandWhereTheFormPlacesThem)
{
    TfmAbout box(nullptr);
    EXPECT_EQ(box.windowTitle(), "A propos...");
    EXPECT_EQ(box.size(), QSize(305, 193));
    EXPECT_EQ(box.minimumSize(), box.maximumSize());
    EXPECT_FALSE(box.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(box.font().family(), "Arial");
    EXPECT_EQ(box.font().pixelSize(), 11);

    const struct {
        const QLabel* label;
        QPoint pos;
        const char* text;
        QColor colour;
    } labels[] = {
        {box.lblThanks, {8, 144}, "Remerciements", Silver},
        {box.Version, {32, 72}, "Version :", Maroon},
        {box.Copyright, {32, 88}, "Copyright :", Maroon},
        {box.Comments, {32, 104}, "Commentaires :", Maroon},
        {box.lblVersion, {112, 72}, "1.0.0.0", Yellow},
        {box.lblCopyright, {112, 88}, nullptr, Yellow},
        {box.lblComments, {112, 104}, "Freeware", Yellow},
    };
    for (const auto& l : labels) {
        SCOPED_TRACE(l.label->objectName().toStdString());
        EXPECT_EQ(l.label->pos(), l.pos);
        if (l.text) {
            EXPECT_EQ(l.label->text(), QString::fromUtf8(l.text));
        }
        EXPECT_EQ(TextColour(l.label), l.colour);
        EXPECT_FALSE(l.label->autoFillBackground());
    }
    // Whatever face stands in for Arial, no caption runs into its value.
    for (const QLabel* caption : {box.Version, box.Copyright, box.Comments})
        EXPECT_LT(caption->geometry().right(), box.lblVersion->x()) << caption->objectName().toStdString();
    EXPECT_LE(box.Label2->sizeHint().width(), 162);
    EXPECT_EQ(box.Label2->geometry().topLeft(), QPoint(127, 40));
    EXPECT_EQ(box.Label2->width(), 162);
    EXPECT_EQ(box.Label2->text(), "Générateur de courbe de vélocité");
    EXPECT_TRUE(box.Label2->alignment() & Qt::AlignRight);
    EXPECT_EQ(box.Title->geometry(), QRect(120, 8, 177, 33));
    EXPECT_EQ(box.Title->textFormat(), Qt::RichText);
    EXPECT_EQ(box.ProgramIcon->geometry(), QRect(16, 16, 32, 32));
    EXPECT_TRUE(box.ProgramIcon->hasScaledContents());
    EXPECT_FALSE(box.ProgramIcon->pixmap().isNull());
    for (const QLabel* bullet : {box.Image1, box.Image2, box.Image3})
        EXPECT_FALSE(bullet->pixmap().isNull());
    EXPECT_EQ(box.Image1->geometry(), QRect(16, 72, 12, 12));
    EXPECT_EQ(box.Image3->geometry(), QRect(16, 104, 12, 12));
    EXPECT_EQ(box.Bevel2->geometry().topLeft(), QPoint(16, 56));
    EXPECT_EQ(box.Bevel2->width(), 273);
    EXPECT_EQ(box.Bevel1->geometry().topLeft(), QPoint(8, 136));
    EXPECT_EQ(box.Bevel1->width(), 289);
    EXPECT_EQ(box.btnOK->geometry(), QRect(216, 160, 81, 25));
    EXPECT_EQ(box.btnOK->text(), "OK");
    EXPECT_TRUE(box.btnOK->isDefault());
    EXPECT_EQ(box.Credits->geometry().topLeft(), QPoint(8, 160));
    EXPECT_EQ(box.Credits->height(), 25);
    EXPECT_LE(box.Credits->geometry().right(), box.btnOK->geometry().left() - 1);
    EXPECT_EQ(box.Credits->Lines().size(), 2);

    // The background runs from aqua at the top to blue at the bottom.
    const QImage picture = box.grab().toImage();
    const QColor top = picture.pixelColor(300, 0);
    const QColor bottom = picture.pixelColor(300, 192);
    EXPECT_TRUE(top.red() == 0 && top.green() > 245 && top.blue() == 255) << top.name().toStdString();
    EXPECT_TRUE(bottom.red() == 0 && bottom.green() < 10 && bottom.blue() == 255) << bottom.name().toStdString();
}

TEST(AboutBoxTest, TheCreditsRollFromCreationUntilTheBoxCloses)
{
    TfmAbout box(nullptr);
    EXPECT_TRUE(box.Credits->IsScrolling());
    box.show();
    const int start = box.Credits->TextTop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return box.Credits->TextTop() != start; }));
    EXPECT_LT(box.Credits->TextTop(), start);

    PressEnter(&box);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Accepted);
    EXPECT_FALSE(box.Credits->IsScrolling());
}

// The "Aide" menu of the real window.
class HelpMenuTest : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        SetDocumentOpener([this](const QString& path, int showCmd) {
            opened << path;
            shows.push_back(showCmd);
            return true;
        });
        StartWindow();
        ASSERT_TRUE(dir.isValid());
    }

    void TearDown() override
    {
        WindowFixture::TearDown();
        SetDocumentOpener({});
        EXPECT_TRUE(reported.isEmpty()) << ReportedText();
    }

    // Runs `inBox` on the box once it is on screen; the box must close.
    void WithAboutBox(const std::function<void(TfmAbout*)>& inBox)
    {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<TfmAbout*>(QApplication::activeModalWidget());
            if (!box) {
                ADD_FAILURE() << "no About box on screen";
                return;
            }
            seen = true;
            inBox(box);
            if (box->isVisible()) {
                ADD_FAILURE() << "the box stayed open";
                box->reject();
            }
        });
        form->ActAppAbout->trigger();
        EXPECT_TRUE(seen);
    }

    QStringList opened;
    std::vector<int> shows;
    QTemporaryDir dir;
};

TEST_F(HelpMenuTest, EachAboutShowsAFreshModalBoxGoneOnceClosed)
{
    QList<QPointer<TfmAbout>> boxes;
    for (int showing = 0; showing < 2; ++showing) {
        WithAboutBox([&](TfmAbout* box) {
            boxes << box;
            EXPECT_TRUE(box->isModal());
            EXPECT_EQ(box->parentWidget(), form.get());
            EXPECT_TRUE(box->Credits->IsScrolling());
            EXPECT_EQ(box->lblVersion->text(), "1.0.0.0");
            PressEnter(box);
        });
    }
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_TRUE(boxes[0].isNull());
    EXPECT_TRUE(boxes[1].isNull());
    EXPECT_TRUE(form->findChildren<TfmAbout*>().isEmpty());
}

TEST_F(HelpMenuTest, TheWindowAndTheBoxShowTheApplicationsIcon)
{
    EXPECT_FALSE(form->windowIcon().isNull());
    WithAboutBox([&](TfmAbout* box) {
        const QImage shown = box->ProgramIcon->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
        const QImage icon = form->windowIcon().pixmap(QSize(32, 32)).toImage().convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(shown, icon);
        box->accept();
    });
}

TEST_F(HelpMenuTest, TheReadmeIsHandedToTheShellWhenItExists)
{
    form->ReadmePath = dir.filePath(QStringLiteral("a_lire.txt"));
    QFile file(form->ReadmePath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    EXPECT_TRUE(form->ActAppReadme->isEnabled());
    form->ActAppReadme->trigger();
    EXPECT_EQ(opened, QStringList{form->ReadmePath});
    EXPECT_EQ(shows, std::vector<int>{SW_SHOWNORMAL});
}

TEST_F(HelpMenuTest, AMissingReadmeDoesNothing)
{
    form->ReadmePath = dir.filePath(QStringLiteral("a_lire.txt"));
    form->ActAppReadme->trigger();
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_FALSE(form->CurveModified);
}

TEST(ReadmeTest, TheBuildPutsTheFrenchReadmeBesideTheProgram)
{
    const QString beside = QFileInfo(QStringLiteral(VELOMORPH_PROGRAM_EXE)).dir().filePath(QStringLiteral("a_lire.txt"));
    QFile copy(beside);
    QFile source(QStringLiteral(VELOMORPH_README_SOURCE));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly)) << beside.toStdString();
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = copy.readAll();
    EXPECT_EQ(bytes, source.readAll());

    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(bytes);
    EXPECT_FALSE(utf8.hasError());
    for (const char* word : {"Entrée MIDI", "Sortie MIDI", "Nombre de points", "Copier valeurs graphe (texte)",
                             "Erreur MIDI", "Sauver sous..."})
        EXPECT_TRUE(text.contains(QString::fromUtf8(word))) << word;
}

} // namespace
