// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"
#include "app/widgets/step_slider.h"
#include "platform/ini_file.h"
#include "support/window_fixture.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace {

class MainWindowFileTest : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        ASSERT_TRUE(dir.isValid());
        StartWindow();
    }

    QString WriteFile(const QString& name, const QByteArray& content)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

    QTemporaryDir dir;
};

TEST_F(MainWindowFileTest, LoadingPutsTheFileValuesIntoTheSliders)
{
    const QString path = WriteFile("c.dat",
                                   "[points]\r\ncount=3\r\nPt01a=10\r\nPt01b=200\r\nPt02a=5\r\nPt02b=-5\r\n"
                                   "Pt03a=0x40\r\nPt03b=abc\r\nPt09a=60\r\nPt09b=99\r\n");
    form->DraggedPoint = 2;
    form->LoadCurveFile(path);

    EXPECT_EQ(form->tbPtsCnt->Position(), 3);
    EXPECT_EQ(form->tbPtIn[0]->Position(), 10);
    EXPECT_EQ(form->tbPtOut[0]->Position(), 127);
    EXPECT_EQ(form->tbPtIn[1]->Position(), 5);
    EXPECT_EQ(form->tbPtOut[1]->Position(), 0);
    EXPECT_EQ(form->tbPtIn[2]->Position(), 64);
    EXPECT_EQ(form->tbPtOut[2]->Position(), 0);
    EXPECT_EQ(form->tbPtIn[3]->Position(), 0); // missing keys read as 0
    EXPECT_EQ(form->tbPtIn[8]->Position(), 127); // the end point's In is never read
    EXPECT_EQ(form->tbPtOut[8]->Position(), 99);

    // The count handler ran: selection forgotten, states and curve of the new values.
    EXPECT_EQ(form->DraggedPoint, -1);
    EXPECT_EQ(form->lblPtsCnt->text(), "Nombre de points : 3");
    EXPECT_TRUE(form->tbPtIn[2]->isEnabled());
    EXPECT_FALSE(form->tbPtIn[3]->isEnabled());
    EXPECT_FALSE(form->CurveValid); // In values 10, 5: loaded as they are, shown invalid
    EXPECT_EQ(form->TransferTable, BuildTransferTable(form->CurrentPoints()));

    EXPECT_EQ(form->CurrentCurveFile, path);
    EXPECT_EQ(form->windowTitle(), "Velomorph - c.dat");
    EXPECT_FALSE(form->CurveModified);
}

TEST_F(MainWindowFileTest, ACountAboveTheMaximumLoadsAsEight)
{
    form->LoadCurveFile(WriteFile("c.dat", "[Points]\r\nCount=12\r\n"));
    EXPECT_EQ(form->tbPtsCnt->Position(), 8);
}

TEST_F(MainWindowFileTest, AFileThatIsNotACurveLoadsAsTheIdentity)
{
    form->LoadCurveFile(WriteFile("notes.txt", "just some text\n"));
    EXPECT_EQ(form->tbPtsCnt->Position(), 0);
    for (int i = 0; i < 128; ++i)
        ASSERT_EQ(form->TransferTable[i], i);
    EXPECT_EQ(form->windowTitle(), "Velomorph - notes.txt");
}

TEST_F(MainWindowFileTest, LoadingUnchangedValuesStillMakesTheFileCurrent)
{
    const QString path = dir.filePath("same.dat");
    form->SaveCurveFile(path);
    TfmMain other(prompts);
    other.LoadCurveFile(path);
    EXPECT_EQ(other.CurrentCurveFile, path);
    EXPECT_EQ(other.CurrentPoints(), form->CurrentPoints());
    EXPECT_FALSE(other.CurveModified);
}

TEST_F(MainWindowFileTest, LoadingAMissingFileChangesNothing)
{
    form->tbPtsCnt->SetPosition(5);
    form->LoadCurveFile(dir.filePath("absent.dat"));
    form->LoadCurveFile(dir.path()); // a folder is no file either
    EXPECT_EQ(form->tbPtsCnt->Position(), 5);
    EXPECT_TRUE(form->CurveModified);
    EXPECT_EQ(form->windowTitle(), "Velomorph");
}

TEST_F(MainWindowFileTest, AFileTooLargeForACurveLoadsNothingAndTheSlidersStayLive)
{
    QByteArray content = "[Points]\r\nCount=7\r\nPt01b=1\r\n";
    content.append(QByteArray(TIniFile::MaxFileSize, ';'));
    const QString path = WriteFile("huge.dat", content);
    const CurvePoints before = form->CurrentPoints();

    // Through the "Ouvrir" action, as a click would arrive: the error reaches the report.
    prompts.filesToOpen.push_back(path);
    QMetaObject::invokeMethod(form->ActGraphOpen, &QAction::trigger, Qt::QueuedConnection);
    QCoreApplication::processEvents();

    EXPECT_EQ(reported, QStringList{"Impossible de lire " + path + " : le fichier dépasse 1 Mo"});
    EXPECT_EQ(form->CurrentPoints(), before);
    EXPECT_TRUE(form->CurrentCurveFile.isEmpty());
    EXPECT_EQ(form->windowTitle(), "Velomorph");
    // The sliders are heard again: a change rebuilds the curve.
    form->tbPtOut[0]->SetPosition(90);
    EXPECT_EQ(form->TransferTable, BuildTransferTable(form->CurrentPoints()));
    EXPECT_TRUE(form->CurveModified);
}

TEST_F(MainWindowFileTest, AFailedSaveKeepsTheCurrentFileCaptionAndModifiedFlag)
{
    const QString first = dir.filePath("first.dat");
    form->SaveCurveFile(first);
    form->tbPtsCnt->SetPosition(6);

    const QString locked = WriteFile("locked.dat", "[Points]\r\nCount=1\r\n");
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    try {
        form->SaveCurveFile(locked);
        FAIL() << "saving into a read-only file must fail";
    } catch (const std::exception& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()), "Impossible d'écrire dans " + locked);
    }
    EXPECT_EQ(form->CurrentCurveFile, first);
    EXPECT_EQ(form->windowTitle(), "Velomorph - first.dat");
    EXPECT_TRUE(form->CurveModified);
    QFile file(locked);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("[Points]\r\nCount=1\r\n"));
}

} // namespace
