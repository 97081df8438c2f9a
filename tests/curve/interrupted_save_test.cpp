// SPDX-License-Identifier: GPL-3.0-or-later
// Saves that run at the same time, and saves killed part-way: other
// processes save curves into one file, in turn, while the test loads it, and
// are killed at random moments. The file always holds one save whole, with
// every other section and line of the file kept, and each load gives one of
// the saved curves, never a mix.
#include "child_process.h"
#include "curve/curve_file.h"
#include "interrupted_save_curves.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

namespace {

using namespace std::chrono_literals;

// A file made by hand: other sections, and a key of the curve's section,
// that every save keeps.
const std::string HandMade = "; made by hand\r\n[Before]\r\nCount=99\r\n[Points]\r\nComment=kept\r\n\r\n[After]\r\nx=y\r\n";

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

class ConcurrentSaveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid() && outputs.isValid());
        path = dir.filePath("courbe.dat").toStdString();
        // What each curve's save makes of the hand-made file.
        const std::string scratch = dir.filePath("scratch.dat").toStdString();
        for (const CurvePoints& curve : SavedCurves) {
            WriteBytes(scratch, HandMade);
            WriteCurveFile(scratch, curve);
            saved.push_back(ReadBytes(scratch));
        }
        std::filesystem::remove(scratch);
        WriteBytes(path, HandMade);
    }

    // Starts a process that saves `curves` in turn into the file, for ever
    // or `rounds` times. What it prints goes out of the curve's folder.
    ChildProcess& StartSaver(const std::vector<std::string>& curves, int rounds = 0)
    {
        auto& saver = *savers.emplace_back(std::make_unique<ChildProcess>());
        std::vector<std::string> arguments;
        if (rounds > 0)
            arguments = {"-n", std::to_string(rounds)};
        arguments.push_back(path);
        arguments.insert(arguments.end(), curves.begin(), curves.end());
        saver.start(VELOMORPH_SAVE_LOOP_EXE, arguments, {}, ChildProcess::Output::FileWithErrors,
                    SaverOutput(savers.size() - 1));
        return saver;
    }

    std::string SaverOutput(std::size_t saver) const
    {
        return outputs.filePath(QString::number(saver)).toStdString();
    }

    // Waits until every saver has done its first round.
    void WaitUntilSaving()
    {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        for (std::size_t i = 0; i < savers.size(); ++i) {
            const auto saving = [&] { return ReadBytes(SaverOutput(i)).find('\n') != std::string::npos; };
            while (!saving() && savers[i]->running() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(1ms);
            ASSERT_EQ(ReadBytes(SaverOutput(i)), "saving\n") << "a saver did not start saving";
        }
    }

    // Which save the file holds whole: the curve's number, or -1.
    int WholeSave() const
    {
        const std::string bytes = ReadBytes(path);
        for (std::size_t i = 0; i < saved.size(); ++i) {
            if (bytes == saved[i])
                return static_cast<int>(i);
        }
        ADD_FAILURE() << "the file holds no save whole:\n" << bytes;
        return -1;
    }

    // Which curve a load gives: the curve's number, or -1 for a mix.
    int Load() const
    {
        const CurvePoints loaded = ReadPointsAsWritten(path);
        for (std::size_t i = 0; i < SavedCurves.size(); ++i) {
            if (loaded == SavedCurves[i])
                return static_cast<int>(i);
        }
        return -1;
    }

    // Loads the file over and over for `duration` (once at least); false at
    // the first load that is no saved curve.
    bool LoadWhile(std::chrono::microseconds duration, std::vector<bool>& seen) const
    {
        const auto end = std::chrono::steady_clock::now() + duration;
        do {
            const int curve = Load();
            if (curve < 0)
                return false;
            seen[static_cast<std::size_t>(curve)] = true;
        } while (std::chrono::steady_clock::now() < end);
        return true;
    }

    QTemporaryDir dir;
    QTemporaryDir outputs; // what the savers print
    std::string path;
    std::vector<std::string> saved; // the hand-made file once each curve is saved into it
    std::vector<std::unique_ptr<ChildProcess>> savers; // die with the test
};

TEST_F(ConcurrentSaveTest, SavesKilledWhileTheyRunTogetherLeaveOneSaveWhole)
{
    std::mt19937 random(20260101);
    std::uniform_int_distribution<int> delayUs(0, 30000);
    std::vector<bool> seen(SavedCurves.size());
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ChildProcess& first = StartSaver({"0", "1"});
        ChildProcess& second = StartSaver({"2", "3"});
        WaitUntilSaving();
        ASSERT_TRUE(LoadWhile(std::chrono::microseconds(delayUs(random)), seen)) << "a load mixed two curves";
        ASSERT_TRUE(first.running()) << ReadBytes(SaverOutput(0));
        ASSERT_TRUE(second.running()) << ReadBytes(SaverOutput(1));
        first.kill();
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random) / 10));
        second.kill();
        savers.clear();

        EXPECT_GE(WholeSave(), 0);
        EXPECT_GE(Load(), 0);
    }
    // The loads caught both savers at work.
    EXPECT_TRUE((seen[0] || seen[1]) && (seen[2] || seen[3]));
    // A save killed while it writes may leave its hidden temporary file, nothing else.
    for (const QString& name : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden)) {
        EXPECT_TRUE(name == "courbe.dat" || (name.startsWith(".~ini-") && name.endsWith(".tmp") && name.size() == 16))
            << name.toStdString();
    }
}

// A file of two names is written in place; the lock keeps saves from
// mixing and loads from seeing half a save.
TEST_F(ConcurrentSaveTest, SavesInPlaceAtTheSameTimeNeverMix)
{
    const std::string copy = dir.filePath("copie.dat").toStdString();
    std::filesystem::create_hard_link(path, copy);
    ChildProcess& first = StartSaver({"0", "1"}, 300);
    ChildProcess& second = StartSaver({"2", "3"}, 300);
    WaitUntilSaving();
    std::vector<bool> seen(SavedCurves.size());
    while (first.running() || second.running())
        ASSERT_TRUE(LoadWhile(0us, seen)) << "a load mixed two curves";
    EXPECT_TRUE(first.wait(0)) << ReadBytes(SaverOutput(0));
    EXPECT_TRUE(second.wait(0)) << ReadBytes(SaverOutput(1));
    EXPECT_GE(WholeSave(), 0);
    EXPECT_EQ(ReadBytes(copy), ReadBytes(path));
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_nlink, 2u);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"copie.dat", "courbe.dat"}));
}

} // namespace
