// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/curve_location.h"
#include "curve/curve_file.h"
#include "curve/preset_curves.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void Touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

TEST(CurveLocation, ABareNameIsLookedForAmongTheReadyMadeCurves)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString app = dir.filePath("bin");
    const QString installed = "../share/velomorph/courbes";
    Touch(dir.filePath("bin/courbes/douce.dat"));          // beside the executable (build tree)
    Touch(dir.filePath("share/velomorph/courbes/dure.dat")); // installed
    Touch(dir.filePath("share/velomorph/courbes/douce.dat"));
    const QString here = dir.filePath("here.dat");
    Touch(here);

    struct Case {
        QString name;
        QString found;
    };
    const Case cases[] = {
        {"douce.dat", QDir::cleanPath(dir.filePath("bin/courbes/douce.dat"))},
        {"dure.dat", QDir::cleanPath(dir.filePath("share/velomorph/courbes/dure.dat"))},
        {"absente.dat", "absente.dat"},
        {here, here},                                  // exists as given
        {"./douce.dat", "./douce.dat"},                // names a folder
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FindCurveFile(c.name, app, installed), c.found) << c.name.toStdString();
}

TEST(CurveLocation, TheBuildTreeHoldsTheMenusReadyMadeCurves)
{
    const QString folder = QFileInfo(QStringLiteral(VELOMORPH_PROGRAM_EXE)).absolutePath();
    for (const PresetCurve& preset : PresetCurves) {
        const QString found = FindCurveFile(QString::fromLatin1(preset.FileName), folder);
        ASSERT_TRUE(QFileInfo(found).isFile()) << preset.FileName;
        EXPECT_EQ(ReadCurvePoints(found.toStdString()), PresetCurvePoints(preset)) << preset.FileName;
    }
}

} // namespace
