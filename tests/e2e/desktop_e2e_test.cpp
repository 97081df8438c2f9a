// SPDX-License-Identifier: GPL-3.0-or-later
// The real program as a desktop sees it, on its own X server (Xvfb) and on the
// private JACK server, where the probe's ports are the devices it opens:
// captions exactly as the program sets them, the toolkit's texts in French,
// and the session's signals ending it without waiting for anyone, a modified
// curve saved to a recovery file first.
#include "curve/curve_file.h"
#include "curve/curve_points.h"
#include "curve_builder.h"
#include "desktop_program.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <optional>
#include <ostream>

namespace {

using namespace std::chrono_literals;

// The "+" button of the point-count slider, in client pixels: the slider
// spans 496..720 x 8..34 and its buttons are 20 pixels wide.
constexpr int CountPlusX = 710;
constexpr int CountPlusY = 21;

using namespace desktop;

TEST_F(DesktopProgram, CaptionsAreExactlyTheProgramsAndTheToolkitSpeaksFrench)
{
    const QString curve = home.filePath(QStringLiteral("a[*]b.dat"));
    {
        QFile file(curve);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Points]\r\nCount=3\r\n");
    }
    Start({curve}, true);

    // The file named on the command line is open, "[*]" shown as it is, and
    // no " — Velomorph" follows.
    const XWindow main = MainWindow("Velomorph - a[*]b.dat");
    ASSERT_NE(main.id, XCB_WINDOW_NONE);

    // "Ouvrir": Qt's open dialog, captioned in French and nothing more.
    ChooseOpen(main);
    ASSERT_TRUE(WaitForCaption({main}, "Ouvrir", 10s));
    x->key(KeyEscape);

    EXPECT_GE(EndWith(SIGTERM), 0);
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << Stderr().toStdString();
    EXPECT_FALSE(QFile::exists(RecoveryPath())) << "nothing was modified";
}

struct EndingCase {
    const char* name;
    int signal;
    bool questionOnScreen; // "Courbe modifiée. Enregistrer ?" waits for an answer
};

void PrintTo(const EndingCase& c, std::ostream* out)
{
    *out << c.name;
}

class EndingWithUnsavedChanges : public DesktopProgram, public ::testing::WithParamInterface<EndingCase> {};

TEST_P(EndingWithUnsavedChanges, WritesTheCurveToARecoveryFileAndEnds)
{
    Start({}, true);
    const XWindow main = MainWindow("Velomorph");
    ASSERT_NE(main.id, XCB_WINDOW_NONE);

    // One more point: the curve differs from every file.
    const std::vector<std::uint8_t> before = x->pixels(main);
    ClickClient(main, CountPlusX, CountPlusY);
    ASSERT_TRUE(x->waitForChange(main, before, 10s)) << "the click changed nothing";
    x->waitUntilSettled(main, 10s);

    if (GetParam().questionOnScreen) {
        ChooseOpen(main);
        ASSERT_TRUE(WaitForCaption({main}, "Velomorph", 10s)) << "no save question";
    }

    ASSERT_GE(EndWith(GetParam().signal), 0) << "the program did not end by itself";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << Stderr().toStdString();

    const QString path = RecoveryPath();
    EXPECT_TRUE(Stderr().contains(QFile::encodeName(path))) << Stderr().constData();

    // The recovery file holds the curve as it was on screen, in the curve file's own form.
    const CurvePoints expected = CurveWith(3, {});
    const QString reference = home.filePath(QStringLiteral("reference.dat"));
    WriteCurveFile(QFile::encodeName(reference).toStdString(), expected);
    QFile recovered(path);
    QFile written(reference);
    ASSERT_TRUE(recovered.open(QIODevice::ReadOnly)) << "no recovery file at " << path.toStdString();
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(recovered.readAll(), written.readAll());
}

INSTANTIATE_TEST_SUITE_P(Signals, EndingWithUnsavedChanges,
                         ::testing::Values(EndingCase{"SIGTERM_idle", SIGTERM, false},
                                           EndingCase{"SIGHUP_question_on_screen", SIGHUP, true},
                                           EndingCase{"SIGINT_question_on_screen", SIGINT, true}),
                         [](const auto& info) { return std::string(info.param.name); });

class EndingWithoutChanges : public DesktopProgram, public ::testing::WithParamInterface<int> {};

TEST_P(EndingWithoutChanges, EndsAtOnceAndWritesNothing)
{
    Start({}, false);
    // The test note has been played: the start-up is over.
    ASSERT_TRUE(probe->waitForEvents(2, 30s)) << "no test note";

    ASSERT_GE(EndWith(GetParam()), 0) << "the program did not end by itself";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << Stderr().toStdString();
    EXPECT_FALSE(QFile::exists(RecoveryPath()));
    EXPECT_FALSE(Stderr().contains("velomorph-recovered")) << Stderr().constData();
}

INSTANTIATE_TEST_SUITE_P(Signals, EndingWithoutChanges, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) { return std::string(strsignal(info.param)); });

// A settings file that Qt's settings would wait for without end: a folder
// stands where their lock file goes, or a stale lock lies in a read-only
// settings folder. The window still opens with the remembered curve (whose
// opening writes the settings), answers, and the session's SIGTERM ends it.
class SettingsThatCannotBeLocked : public DesktopProgram, public ::testing::WithParamInterface<bool> {};

TEST_P(SettingsThatCannotBeLocked, NeitherStopTheWindowNorItsEnd)
{
    const bool readOnlyFolder = GetParam();
    const QString folder = home.filePath(QStringLiteral("config/Velomorph"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString curve = home.filePath(QStringLiteral("remembered.dat"));
    {
        QFile file(curve);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Points]\r\nCount=3\r\n");
    }
    const QString settings = folder + QStringLiteral("/Velomorph.conf");
    {
        QFile file(settings);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Curve]\nLastFile=" + QFile::encodeName(curve) + "\n");
    }
    const QString lock = settings + QStringLiteral(".lock");
    if (readOnlyFolder) {
        QFile file(lock);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("999999\nvelomorph\nailleurs\n");
        file.close();
        QFile::setPermissions(settings, QFileDevice::ReadOwner);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    } else {
        ASSERT_TRUE(QDir().mkpath(lock));
    }
    const struct Restore {
        QString folder;
        ~Restore() { QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner); }
    } restore{folder};

    Start({}, true);
    const XWindow main = MainWindow("Velomorph - remembered.dat");
    ASSERT_NE(main.id, XCB_WINDOW_NONE) << Stderr().toStdString();
    const std::vector<std::uint8_t> before = x->pixels(main);
    ClickClient(main, CountPlusX, CountPlusY);
    ASSERT_TRUE(x->waitForChange(main, before, 10s)) << "the window does not answer";
    x->waitUntilSettled(main, 10s);

    ASSERT_GE(EndWith(SIGTERM), 0) << "the program did not end by itself";
    EXPECT_EQ(program.exitCode(), 0) << Stderr().toStdString();
    EXPECT_TRUE(QFile::exists(RecoveryPath())) << Stderr().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Settings, SettingsThatCannotBeLocked, ::testing::Values(false, true),
                         [](const auto& info) {
                             return std::string(info.param ? "StaleLockInAReadOnlyFolder" : "AFolderWhereTheLockGoes");
                         });

} // namespace
