// SPDX-License-Identifier: GPL-3.0-or-later
// The recovery file that keeps a modified curve when the program must end
// without asking.
#include "app/recovery_file.h"
#include "curve/curve_file.h"
#include "curve_builder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Content(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

CurvePoints Modified()
{
    return CurveWith(5, {{DefaultCurvePoints.In[0], 33}});
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

// Someone else who may write the recovery folder swaps a link to another of
// the user's files in for each recovery file as soon as it appears: the
// curve still goes to the file the program created, never into that one.
// The writes run as "nobody" (through setpriv when the test runs as root).
TEST_F(RecoveryFileTest, ALinkSwappedInByAnotherUserNeverSteersTheWrite)
{
    namespace fs = std::filesystem;
    const bool asRoot = ::geteuid() == 0;
    constexpr uid_t Nobody = 65534;
    const std::string root = dir.path().toStdString();
    fs::permissions(root, fs::perms(0755));
    const std::string helper = root + "/recovery_write_loop";
    ASSERT_TRUE(QFile::copy(QStringLiteral(VELOMORPH_RECOVERY_WRITE_LOOP_EXE), QString::fromStdString(helper)));
    fs::permissions(helper, fs::perms(0755));
    // The user's own folder and file.
    const std::string home = root + "/home";
    ASSERT_TRUE(fs::create_directory(home));
    const std::string victim = home + "/settings.ini";
    std::ofstream(victim, std::ios::binary) << "[Mine]\nkept=yes\n";
    // The recovery folder, which others may write too.
    const std::string shared = root + "/shared";
    ASSERT_TRUE(fs::create_directory(shared));
    fs::permissions(shared, fs::perms(0777));
    if (asRoot) {
        ASSERT_EQ(::chown(home.c_str(), Nobody, Nobody), 0);
        ASSERT_EQ(::chown(victim.c_str(), Nobody, Nobody), 0);
    }

    const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, shared.c_str(), IN_CREATE), 0);
    std::atomic<bool> stop{false};
    std::atomic<int> swapped{0};
    std::thread attacker([&] {
        alignas(struct inotify_event) char buffer[4096];
        while (!stop.load()) {
            const ssize_t length = ::read(watch, buffer, sizeof buffer);
            for (ssize_t at = 0; at < length;) {
                const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
                const std::string name = event->len ? event->name : "";
                if (name.rfind("velomorph-recovered", 0) != 0)
                    continue;
                const std::string path = shared + "/" + name;
                const std::string link = shared + "/.swap";
                ::unlink(link.c_str());
                if (::symlink(victim.c_str(), link.c_str()) == 0 && ::rename(link.c_str(), path.c_str()) == 0)
                    ++swapped;
            }
        }
    });

    QProcess writer;
    QStringList arguments{QString::fromStdString(shared), QStringLiteral("200")};
    if (asRoot) {
        arguments = QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                QStringLiteral("--clear-groups"), QStringLiteral("--"), QString::fromStdString(helper)}
            + arguments;
        writer.start(QStringLiteral("setpriv"), arguments);
    } else {
        writer.start(QString::fromStdString(helper), arguments);
    }
    EXPECT_TRUE(writer.waitForFinished(30000));
    stop = true;
    attacker.join();
    ::close(watch);
    EXPECT_EQ(writer.exitCode(), 0) << writer.readAllStandardError().toStdString();
    EXPECT_EQ(writer.readAllStandardOutput().count('\n'), 200);
    EXPECT_GT(swapped.load(), 0);
    std::ifstream in(victim, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), "[Mine]\nkept=yes\n");
}

} // namespace
