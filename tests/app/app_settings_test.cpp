// SPDX-License-Identifier: GPL-3.0-or-later
// The program's one settings file: what it remembers between two starts
// (the last curve file, the dialogs' folder), and nothing of Qt's own.
#include "app/app_settings.h"
#include "app/main_window.h"
#include "app/qt_prompts.h"
#include "curve/curve_file.h"
#include "support/scripted_prompts.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace {

QString ConfigFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

class AppSettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        QFile::remove(ConfigFolder() + "/Velomorph/Velomorph.conf");
    }

    void TearDown() override { QFile::remove(ConfigFolder() + "/Velomorph/Velomorph.conf"); }

    // A curve file of four points in the test's folder.
    QString WriteCurve(const char* name)
    {
        CurvePoints points = DefaultCurvePoints;
        points.Count = 4;
        const QString path = folder.filePath(QString::fromLatin1(name));
        WriteCurveFile(QFile::encodeName(path).toStdString(), points);
        return path;
    }

    QTemporaryDir folder;
    ScriptedPrompts prompts;
};

TEST_F(AppSettingsTest, TheLastCurveFileOpensAgainAtTheNextStartWhenItStillLoads)
{
    const QString path = WriteCurve("four.dat");
    {
        TfmMain form(prompts);
        form.OpenCurveFile(path);
    }
    EXPECT_EQ(TAppSettings().LastCurveFile(), QFileInfo(path).absoluteFilePath());
    {
        TfmMain form(prompts);
        EXPECT_EQ(form.CurrentCurveFile, QFileInfo(path).absoluteFilePath());
        EXPECT_EQ(form.CurrentPoints().Count, 4);
        EXPECT_FALSE(form.CurveModified);
    }
    // A file that no longer loads (larger than any curve file may be), or no
    // longer exists: the default curve, silently.
    for (const QByteArray& content : {QByteArray(2 * 1024 * 1024, ';'), QByteArray()}) {
        if (content.isEmpty()) {
            QFile::remove(path);
        } else {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(content);
        }
        TfmMain form(prompts);
        EXPECT_TRUE(form.CurrentCurveFile.isEmpty());
        EXPECT_EQ(form.CurrentPoints().Count, DefaultCurvePoints.Count);
        EXPECT_TRUE(prompts.errors.isEmpty());
    }
}

TEST_F(AppSettingsTest, TheDialogsOpenInTheFolderOfTheLastFileChosen)
{
    const QString path = WriteCurve("chosen.dat");
    {
        TfmMain form(prompts);
        // A first run: the program's folder when it may be written, else the documents.
        const QString appDir = QCoreApplication::applicationDirPath();
        const QString expected = QFileInfo(appDir).isWritable()
            ? QDir::toNativeSeparators(appDir) + QDir::separator()
            : QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        EXPECT_EQ(form.OpenDialog1.InitialDir, expected);
        prompts.filesToOpen.push_back(path);
        form.ActGraphOpenExecute(nullptr);
        EXPECT_EQ(form.SaveDialog1.InitialDir, folder.path());
    }
    TfmMain form(prompts);
    EXPECT_EQ(form.OpenDialog1.InitialDir, folder.path());
    EXPECT_EQ(form.SaveDialog1.InitialDir, folder.path());
}

TEST_F(AppSettingsTest, QtsFileDialogsWriteNoSettingsFileOfTheirOwn)
{
    QTimer::singleShot(0, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            qobject_cast<QDialog*>(modal)->reject();
    });
    QtPrompts real;
    EXPECT_FALSE(real.ChooseFileToOpen(nullptr, {QStringLiteral("Courbe(*.dat)|*.dat"), QStringLiteral("dat"),
                                                folder.path()}));
    TAppSettings().SetNotesOnly(false);
    EXPECT_TRUE(QFileInfo::exists(ConfigFolder() + "/Velomorph/Velomorph.conf"));
    EXPECT_FALSE(QFileInfo::exists(ConfigFolder() + "/QtProject.conf"));
}

} // namespace
