// SPDX-License-Identifier: GPL-3.0-or-later
// The recovery file that keeps a modified curve when the program must end
// without asking.
#include "app/recovery_file.h"
#include "curve/curve_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray Content(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

CurvePoints Modified()
{
    CurvePoints points = DefaultCurvePoints;
    points.Count = 5;
    points.Out[0] = 33;
    return points;
}

class RecoveryFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    // The same curve saved as "Sauver sous..." would.
    QByteArray Saved(const CurvePoints& points)
    {
        const QString path = dir.filePath(QStringLiteral("saved.dat"));
        WriteCurveFile(QFile::encodeName(path).toStdString(), points);
        const QByteArray bytes = Content(path);
        QFile::remove(path);
        return bytes;
    }

    QTemporaryDir dir;
};

TEST_F(RecoveryFileTest, TheCurveGoesIntoAFolderCreatedForIt)
{
    const QString folder = dir.filePath(QStringLiteral("data/Velomorph"));
    const QString path = WriteRecoveryFile(folder, Modified());
    EXPECT_EQ(path, QDir(folder).filePath(QStringLiteral("velomorph-recovered.dat")));
    EXPECT_EQ(Content(path), Saved(Modified()));
}

TEST_F(RecoveryFileTest, AnEarlierRecoveryIsNeverOverwritten)
{
    const QString folder = dir.path();
    const QString first = WriteRecoveryFile(folder, DefaultCurvePoints);
    const QString second = WriteRecoveryFile(folder, Modified());
    const QString third = WriteRecoveryFile(folder, Modified());
    EXPECT_EQ(QFileInfo(first).fileName(), QStringLiteral("velomorph-recovered.dat"));
    EXPECT_EQ(QFileInfo(second).fileName(), QStringLiteral("velomorph-recovered-2.dat"));
    EXPECT_EQ(QFileInfo(third).fileName(), QStringLiteral("velomorph-recovered-3.dat"));
    EXPECT_EQ(Content(first), Saved(DefaultCurvePoints));
    EXPECT_EQ(Content(second), Saved(Modified()));
}

TEST_F(RecoveryFileTest, AFolderThatCannotBeMadeIsAnError)
{
    // A file stands where the folder should be.
    const QString blocker = dir.filePath(QStringLiteral("data"));
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_THROW(WriteRecoveryFile(dir.filePath(QStringLiteral("data/Velomorph")), Modified()), std::exception);
    EXPECT_THROW(WriteRecoveryFile(QString(), Modified()), std::exception);
}

TEST_F(RecoveryFileTest, TheTextForStderrIsTheFileWithPlainLineEnds)
{
    QByteArray expected = Saved(Modified());
    expected.replace("\r\n", "\n");
    EXPECT_EQ(CurveFileText(Modified()).toUtf8(), expected);
}

TEST_F(RecoveryFileTest, TheFolderIsTheUsersDataFolderForTheProgram)
{
    const QString folder = RecoveryFolder();
    EXPECT_FALSE(folder.isEmpty());
    EXPECT_TRUE(folder.endsWith(QStringLiteral("/") + QCoreApplication::applicationName())) << folder.toStdString();
}

} // namespace
