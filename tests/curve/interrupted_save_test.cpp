// Saves killed part-way: another process saves two curves in turn into one
// file and is killed at random moments, mostly between two key writes, at
// times inside one. Every time, the file holds the 19 keys in their order,
// each with the value of one of the two curves, and loads.
#include "child_process.h"
#include "curve/curve_file.h"
#include "interrupted_save_curves.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

int ValueIn(const CurvePoints& points, CurveKey key)
{
    if (key.Point == 0)
        return points.Count;
    return key.Axis == PointAxis::In ? points.In[key.Point - 1] : points.Out[key.Point - 1];
}

std::vector<CurveKey> KeysInFileOrder()
{
    std::vector<CurveKey> keys{{0, PointAxis::In}};
    for (int k = 1; k <= EndPoint; ++k) {
        keys.push_back({k, PointAxis::In});
        keys.push_back({k, PointAxis::Out});
    }
    return keys;
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Which curve wrote each key, as far as the file shows it.
struct Verdict {
    bool whole = true;      // the file is the 20 lines a save writes, each value one of the two
    bool hasFirst = false;  // some key holds the first curve's value
    bool hasSecond = false; // some key holds the second curve's value
};

Verdict Judge(const std::string& bytes)
{
    Verdict verdict;
    std::string expected = "[Points]\r\n";
    std::size_t pos = expected.size();
    verdict.whole = bytes.compare(0, pos, expected) == 0;
    for (const CurveKey key : KeysInFileOrder()) {
        const std::size_t end = bytes.find("\r\n", pos);
        if (!verdict.whole || end == std::string::npos) {
            verdict.whole = false;
            break;
        }
        const std::string line = bytes.substr(pos, end - pos);
        const std::string name = CurveKeyName(key) + "=";
        if (line == name + std::to_string(ValueIn(FirstSavedCurve, key)))
            verdict.hasFirst |= ValueIn(FirstSavedCurve, key) != ValueIn(SecondSavedCurve, key);
        else if (line == name + std::to_string(ValueIn(SecondSavedCurve, key)))
            verdict.hasSecond |= ValueIn(FirstSavedCurve, key) != ValueIn(SecondSavedCurve, key);
        else
            verdict.whole = false;
        pos = end + 2;
    }
    verdict.whole = verdict.whole && pos == bytes.size();
    return verdict;
}

TEST(InterruptedSaveTest, AKilledSaveLeavesAFileThatLoadsWithOldOrNewValues)
{
    QTemporaryDir dir;
    QTemporaryDir outputDir; // what the saver prints, out of the curve's folder
    ASSERT_TRUE(dir.isValid() && outputDir.isValid());
    const std::string path = dir.filePath("courbe.dat").toStdString();
    const std::string output = outputDir.filePath("saver.txt").toStdString();
    std::mt19937 random(20260101);
    std::uniform_int_distribution<int> delayUs(0, 30000);
    int interruptedBetweenKeys = 0;
    for (int round = 0; round < 25; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ChildProcess saver;
        saver.start(VELOMORPH_SAVE_LOOP_EXE, {path}, {}, ChildProcess::Output::FileWithErrors, output);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        const auto saving = [&] { return ReadBytes(output).find('\n') != std::string::npos; };
        while (!saving() && saver.running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(ReadBytes(output), "saving\n") << "the saver did not start saving";
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        ASSERT_TRUE(saver.running()) << ReadBytes(output);
        saver.kill();

        const Verdict verdict = Judge(ReadBytes(path));
        ASSERT_TRUE(verdict.whole) << ReadBytes(path);
        interruptedBetweenKeys += verdict.hasFirst && verdict.hasSecond ? 1 : 0;
        std::vector<int> loaded;
        ReadCurveFile(path, [&](CurveKey key, int value) {
            EXPECT_TRUE(value == ValueIn(FirstSavedCurve, key) || value == ValueIn(SecondSavedCurve, key));
            loaded.push_back(value);
        });
        EXPECT_EQ(loaded.size(), 18u);
    }
    // Most kills land between two key writes, where the file mixes both curves.
    EXPECT_GT(interruptedBetweenKeys, 0);
    // A save killed inside a key write may leave its hidden temporary file, nothing else.
    for (const QString& name : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden)) {
        EXPECT_TRUE(name == "courbe.dat" || (name.startsWith(".~ini-") && name.endsWith(".tmp")))
            << name.toStdString();
    }
}

} // namespace
