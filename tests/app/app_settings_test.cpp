// SPDX-License-Identifier: GPL-3.0-or-later
// The program's one settings file: what it remembers between two starts
// (the last curve file, the dialogs' folder), and nothing of Qt's own.
#include "app/app_settings.h"
#include "app/main_window.h"
#include "app/qt_prompts.h"
#include "app/settings_text.h"
#include "platform/ini_file.h"
#include "curve/curve_file.h"
#include "curve_builder.h"
#include "support/scripted_prompts.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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
        const QString path = folder.filePath(QString::fromLatin1(name));
        WriteCurveFile(QFile::encodeName(path).toStdString(), CurveWith(4, {}));
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

// Texts as the settings file holds them: what Qt's INI settings wrote
// before reads back the same, and what is written now reads back the same
// there too, whatever the text holds.
TEST(SettingsTextTest, TextsReadBackBothWaysWithQtsIniSettings)
{
    QTemporaryDir dir;
    const QStringList texts{QString(),
                            QStringLiteral("Midi Through:Midi Through Port-0 14:0"),
                            QStringLiteral("/home/élise/Mes courbes/piano, doux.dat"),
                            QStringLiteral("  espaces autour  "),
                            QStringLiteral("@arobase"),
                            QStringLiteral("@@deux"),
                            QStringLiteral("guillemets \"et\" \\barre"),
                            QStringLiteral("point;virgule=égal#dièse"),
                            QStringLiteral("tab\tligne\nretour\r"),
                            QStringLiteral("ünïcödé ♪ 鍵盤")};
    const QString written = dir.filePath(QStringLiteral("qt.conf"));
    {
        QSettings qt(written, QSettings::IniFormat);
        for (int i = 0; i < texts.size(); ++i)
            qt.setValue(QStringLiteral("T/k%1").arg(i), texts[i]);
    }
    for (int i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(texts[i].toStdString());
        // A file of its own each: Qt's settings keep a file they read until
        // its size or time changes, which two quick writes may not change.
        TAppSettings ours(dir.filePath(QStringLiteral("ours-%1.conf").arg(i)));
        const std::optional<std::string> raw
            = TIniFile(QFile::encodeName(written).toStdString()).ReadDocument().Find("T", "k" + std::to_string(i));
        ASSERT_TRUE(raw);
        EXPECT_EQ(DecodeSettingsText(*raw), texts[i]);
        ours.SetLastInput(texts[i]);
        EXPECT_EQ(ours.LastInput(), texts[i]);
        EXPECT_EQ(QSettings(ours.FileName(), QSettings::IniFormat).value(QStringLiteral("MIDI/Input")).toString(),
                  texts[i]);
    }
    for (const bool value : {true, false}) {
        TAppSettings ours(dir.filePath(QStringLiteral("flag-%1.conf").arg(value)));
        ours.SetNotesOnly(value);
        EXPECT_EQ(ours.NotesOnly(), value);
        EXPECT_EQ(QSettings(ours.FileName(), QSettings::IniFormat).value(QStringLiteral("MIDI/NotesOnly")).toBool(),
                  value);
    }
}

// What the program never writes is not read: a value of another kind, as
// deep as it may be nested, a file beyond any settings file's size (set
// aside), or one that someone else keeps locked. Nothing of it stops the
// program; the defaults hold.
TEST(AppSettingsFileTest, WhatTheProgramNeverWritesIsIgnored)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Velomorph.conf"));
    const auto write = [&](const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    };
    QByteArray nested = "@Variant(";
    // Lists nested 50,000 deep, as Qt's settings would store them.
    for (int i = 0; i < 50000; ++i)
        nested += "\\0\\0\\0\\t\\0\\0\\0\\0\\x1";
    nested += ")";
    write("[MIDI]\nInput=@Variant(\\0\\0\\0\\x7f)\nOutput=a, b\nNotesOnly=@Variant(\\0\\0\\0\\x1\\x1)\n"
          "[Curve]\nLastFile=/tmp/x.dat\n[Other]\nDeep=" + nested + "\n");
    TAppSettings settings(path);
    EXPECT_EQ(settings.LastInput(), QString());
    EXPECT_EQ(settings.LastOutput(), QString());
    EXPECT_FALSE(settings.NotesOnly());
    EXPECT_EQ(settings.LastCurveFile(), QStringLiteral("/tmp/x.dat"));
    // A write keeps what it does not understand.
    settings.SetLastOutput(QStringLiteral("synth"));
    EXPECT_EQ(settings.LastOutput(), QStringLiteral("synth"));
    EXPECT_EQ(settings.LastCurveFile(), QStringLiteral("/tmp/x.dat"));

    // Too large: set aside, then a fresh file.
    QByteArray large = "[Curve]\nLastFile=/tmp/x.dat\n";
    large += QByteArray(2 * 1024 * 1024, ';');
    write(large);
    EXPECT_EQ(settings.LastCurveFile(), QString());
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(QFileInfo(path + QStringLiteral(".bad")).size(), large.size());
    settings.SetNotesOnly(true);
    EXPECT_TRUE(settings.NotesOnly());

    // Locked by someone else: read as defaults, the write given up, the file as it was.
    const QByteArray before = [&] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    const int holder = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    EXPECT_FALSE(settings.NotesOnly());
    settings.SetLastInput(QStringLiteral("ignored"));
    ::close(holder);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    EXPECT_TRUE(settings.NotesOnly());
}

} // namespace
