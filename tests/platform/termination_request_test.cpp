// SPDX-License-Identifier: GPL-3.0-or-later
// A request to end ends the program even when its main thread is held up:
// the fallback runs on a thread of its own, then the program ends with 0.
// SIGHUP that reloads is no request to end.
#include <QElapsedTimer>
#include <QProcess>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

namespace {

class HeldMainThread : public ::testing::Test {
protected:
    void Start(const QStringList& arguments)
    {
        program.start(QStringLiteral(VELOMORPH_HELD_MAIN_THREAD_EXE), arguments);
        ASSERT_TRUE(program.waitForStarted(10000));
        ASSERT_TRUE(program.waitForReadyRead(10000));
        ASSERT_EQ(program.readLine(), "ready\n");
    }

    void TearDown() override
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(5000);
        }
    }

    QProcess program;
};

TEST_F(HeldMainThread, ARequestToEndEndsItAllTheSame)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        Start({});
        QElapsedTimer timer;
        timer.start();
        ::kill(static_cast<pid_t>(program.processId()), signal);
        ASSERT_TRUE(program.waitForFinished(10000));
        std::printf("ended %lld ms after signal %d\n", static_cast<long long>(timer.elapsed()), signal);
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        EXPECT_EQ(program.readAllStandardOutput(), "fallback\n");
    }
}

TEST_F(HeldMainThread, ASighupThatReloadsIsNoRequestToEnd)
{
    Start({QStringLiteral("reload")});
    ::kill(static_cast<pid_t>(program.processId()), SIGHUP);
    EXPECT_FALSE(program.waitForFinished(3000)) << "ended on SIGHUP";
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_EQ(program.readAllStandardOutput(), "fallback\n");
}

} // namespace
