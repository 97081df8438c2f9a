// SPDX-License-Identifier: GPL-3.0-or-later
#include "curve/curve_file.h"

#include "platform/file_size_limit.h"
#include "platform/ini_file.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The file that the default positions give, as the example shows it.
const std::string ExampleFile =
    "[Points]\r\n"
    "Count=2\r\n"
    "Pt01a=50\r\nPt01b=20\r\n"
    "Pt02a=80\r\nPt02b=110\r\n"
    "Pt03a=85\r\nPt03b=116\r\n"
    "Pt04a=90\r\nPt04b=120\r\n"
    "Pt05a=95\r\nPt05b=122\r\n"
    "Pt06a=100\r\nPt06b=123\r\n"
    "Pt07a=105\r\nPt07b=124\r\n"
    "Pt08a=110\r\nPt08b=125\r\n"
    "Pt09a=127\r\nPt09b=127\r\n";

struct Assignment {
    CurveKey key;
    int value;
    bool operator==(const Assignment&) const = default;
};

void PrintTo(const Assignment& a, std::ostream* out)
{
    *out << CurveKeyName(a.key) << "=" << a.value;
}

class CurveFileTest : public ::testing::Test {
protected:
    std::string PathOf(const std::string& name) const { return dir_.filePath(QString::fromStdString(name)).toStdString(); }

    static std::string ReadBytes(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    static void WriteBytes(const std::string& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }

    static std::vector<Assignment> ReadAll(const std::string& path)
    {
        std::vector<Assignment> assigned;
        ReadCurveFile(path, [&assigned](CurveKey key, int value) { assigned.push_back({key, value}); });
        return assigned;
    }

    // The value that ReadCurveFile hands over for `key`.
    static int ValueOf(const std::vector<Assignment>& assigned, CurveKey key)
    {
        for (const Assignment& a : assigned) {
            if (a.key == key)
                return a.value;
        }
        ADD_FAILURE() << CurveKeyName(key) << " not read";
        return -1;
    }

    std::vector<std::string> FolderEntries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_.path().toStdString()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    QTemporaryDir dir_;
};

TEST_F(CurveFileTest, DefaultCurveGivesTheExampleFile)
{
    const std::string path = PathOf("courbe.dat");
    WriteCurveFile(path, DefaultCurvePoints);
    EXPECT_EQ(ReadBytes(path), ExampleFile);
}

TEST_F(CurveFileTest, ReadsEveryKeyButPt09aInOrder)
{
    const std::string path = PathOf("courbe.dat");
    std::string bytes = ExampleFile;
    bytes.replace(bytes.find("Pt09a=127"), 9, "Pt09a=60");
    WriteBytes(path, bytes);

    std::vector<Assignment> expected{{{0, PointAxis::In}, 2}};
    for (int k = 1; k <= 8; ++k) {
        expected.push_back({{k, PointAxis::In}, DefaultCurvePoints.In[k - 1]});
        expected.push_back({{k, PointAxis::Out}, DefaultCurvePoints.Out[k - 1]});
    }
    expected.push_back({{9, PointAxis::Out}, 127});
    EXPECT_EQ(ReadAll(path), expected);

    // Saving again puts the end point's fixed In back.
    WriteCurveFile(path, DefaultCurvePoints);
    EXPECT_EQ(ReadBytes(path), ExampleFile);
}

TEST_F(CurveFileTest, ValuesComeFromOneReadingEachHandedOverBeforeTheNext)
{
    const std::string path = PathOf("courbe.dat");
    WriteBytes(path, ExampleFile);
    std::vector<Assignment> values;
    EXPECT_THROW(ReadCurveFile(path,
                               [&](CurveKey key, int value) {
                                   values.push_back({key, value});
                                   // A save made meanwhile does not mix into this load.
                                   if (key == CurveKey{1, PointAxis::Out})
                                       WriteCurveFile(path, CurvePoints{0, {}, {}});
                                   if (key == CurveKey{2, PointAxis::Out})
                                       throw EIniFileError("stop");
                               }),
                 EIniFileError);
    // Nothing after the throw.
    EXPECT_EQ(values, (std::vector<Assignment>{{{0, PointAxis::In}, 2},
                                               {{1, PointAxis::In}, 50},
                                               {{1, PointAxis::Out}, 20},
                                               {{2, PointAxis::In}, 80},
                                               {{2, PointAxis::Out}, 110}}));
}

TEST_F(CurveFileTest, SavingOverAnIniFileKeepsEverythingElse)
{
    const std::string path = PathOf("courbe.dat");
    WriteBytes(path,
               "; made by hand\n"
               "[Other]\n"
               "Count=99\n"
               "\n"
               "[points]\n"
               "count = 5\n"
               "Comment=keep me\n"
               "PT01A=1\n"
               "\n"
               "[Last]\n"
               "x=y");
    WriteCurveFile(path, DefaultCurvePoints);
    EXPECT_EQ(ReadBytes(path),
              "; made by hand\n"
              "[Other]\n"
              "Count=99\n"
              "\n"
              "[points]\n"
              "count = 2\n"
              "Comment=keep me\n"
              "PT01A=50\n"
              "Pt01b=20\r\n"
              "Pt02a=80\r\nPt02b=110\r\n"
              "Pt03a=85\r\nPt03b=116\r\n"
              "Pt04a=90\r\nPt04b=120\r\n"
              "Pt05a=95\r\nPt05b=122\r\n"
              "Pt06a=100\r\nPt06b=123\r\n"
              "Pt07a=105\r\nPt07b=124\r\n"
              "Pt08a=110\r\nPt08b=125\r\n"
              "Pt09a=127\r\nPt09b=127\r\n"
              "\n"
              "[Last]\n"
              "x=y");
}

TEST_F(CurveFileTest, NamesMatchRegardlessOfCase)
{
    const std::string path = PathOf("courbe.dat");
    WriteBytes(path, "[POINTS]\r\ncOUNT=3\r\npt01A=7\r\nPT09B=99\r\n");
    const std::vector<Assignment> values = ReadAll(path);
    EXPECT_EQ(ValueOf(values, {0, PointAxis::In}), 3);
    EXPECT_EQ(ValueOf(values, {1, PointAxis::In}), 7);
    EXPECT_EQ(ValueOf(values, {9, PointAxis::Out}), 99);
}

TEST_F(CurveFileTest, ValuesAreReadAsTheyStandInTheFile)
{
    // The sliders clamp what they receive (200 becomes 127); the file gives the raw value.
    const std::vector<std::pair<const char*, int>> cases{
        {"Pt03b=12", 12},   {"Pt03b=200", 200}, {"Pt03b=-5", -5},         {"Pt03b=abc", 0},
        {"Pt03b=0x40", 64}, {"Pt03b=$40", 64},  {"Pt03b= 7", 7},          {"Pt03b=+3", 3},
        {"Pt03b=7x", 0},    {"Other=1", 0},     {"Pt03b=", 0},            {"Pt03b=2147483648", 0},
        {"Pt03b=2147483647", 2147483647},       {"Pt03b=-2147483648", -2147483647 - 1},
    };
    const std::string path = PathOf("courbe.dat");
    for (const auto& [line, expected] : cases) {
        WriteBytes(path, std::string("[Points]\r\n") + line + "\r\n");
        EXPECT_EQ(ValueOf(ReadAll(path), {3, PointAxis::Out}), expected) << line;
    }
}

TEST_F(CurveFileTest, MissingFileOrSectionReadsZeros)
{
    const std::string path = PathOf("notes.dat");
    for (const char* content : {static_cast<const char*>(nullptr), "just text\r\n", "[Other]\r\nCount=4\r\n"}) {
        if (content != nullptr)
            WriteBytes(path, content);
        const std::vector<Assignment> values = ReadAll(path);
        ASSERT_EQ(values.size(), 18u);
        for (const Assignment& a : values)
            EXPECT_EQ(a.value, 0) << CurveKeyName(a.key);
    }
}

TEST_F(CurveFileTest, ReadOnlyFileIsRefusedAndKept)
{
    const std::string path = PathOf("courbe.dat");
    WriteCurveFile(path, DefaultCurvePoints);
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    CurvePoints other = DefaultCurvePoints;
    other.Count = 5;
    try {
        WriteCurveFile(path, other);
        FAIL() << "the write was not refused";
    } catch (const EIniFileError& error) {
        EXPECT_STREQ(error.what(), ("Impossible d'écrire dans " + path).c_str());
    }
    EXPECT_EQ(ReadBytes(path), ExampleFile);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"courbe.dat"});
}

// The whole curve reaches the file in one write: a save that fails leaves
// no key of it behind.
TEST_F(CurveFileTest, AFailedSaveLeavesTheFileAsItWas)
{
    const std::string fresh = PathOf("nouvelle.dat");
    const std::string path = PathOf("courbe.dat");
    const std::string old = "; by hand\r\n[Points]\r\nCount=1\r\n";
    WriteBytes(path, old);
    {
        // A file of 64 bytes at most: room for the old one, not for a curve.
        FileSizeLimit limit(64);
        ASSERT_TRUE(limit.Active());
        for (const std::string& target : {fresh, path}) {
            try {
                WriteCurveFile(target, DefaultCurvePoints);
                ADD_FAILURE() << "the save into " << target << " did not fail";
            } catch (const EIniFileError& error) {
                EXPECT_STREQ(error.what(), ("Impossible d'écrire dans " + target).c_str());
            }
        }
    }
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"courbe.dat"});
}

TEST_F(CurveFileTest, RandomCurvesReadBackAsWritten)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> value(0, 127);
    const std::string path = PathOf("courbe.dat");
    for (int n = 0; n < 12; ++n) {
        CurvePoints written{std::uniform_int_distribution<int>(0, 8)(random), {}, {}};
        for (std::size_t k = 0; k < 9; ++k) {
            written.In[k] = value(random);
            written.Out[k] = value(random);
        }
        written.In[8] = 127;
        WriteCurveFile(path, written);

        CurvePoints read{-1, {}, {}};
        read.In[8] = 127;
        ReadCurveFile(path, [&read](CurveKey key, int v) {
            if (key.Point == 0)
                read.Count = v;
            else if (key.Axis == PointAxis::In)
                read.In[static_cast<std::size_t>(key.Point - 1)] = v;
            else
                read.Out[static_cast<std::size_t>(key.Point - 1)] = v;
        });
        ASSERT_EQ(read, written) << "curve " << n;
    }
    const std::string bytes = ReadBytes(path);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 20);
}

// A file read while it is being written, or cut short, lacks keys: only a
// file that holds every key of its curve gives points; each other names the
// first key it lacks.
TEST_F(CurveFileTest, AWholeCurveHoldsEveryKeyItsPointsNeed)
{
    const std::string path = PathOf("courbe.dat");
    struct Case {
        const char* text;
        const char* missing; // nullptr: read
    };
    const Case cases[] = {
        {"[Points]\nCount=1\nPt01a=40\nPt01b=10\nPt09b=127\n", nullptr},
        {"[points]\ncount=0\npt09b=$7F\n", nullptr},
        {"[Points]\nPt01a=40\n", "Count"},
        {"[Points]\nCount=2\nPt01a=40\nPt01b=10\nPt02a=90\n", "Pt02b"},
        {"[Points]\nCount=1\nPt01a=40\nPt01b=10\n", "Pt09b"},
        {"[Points]\nCount=1\nPt01a=40\nPt01b=1x\nPt09b=127\n", "Pt01b"},
        {"[Points]\nCount=1\nPt01a=40\nPt01b=10\nPt09b=", "Pt09b"},
        {"", "Count"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        WriteBytes(path, c.text);
        if (!c.missing) {
            EXPECT_EQ(ReadCompleteCurvePoints(path), ReadCurvePoints(path));
            continue;
        }
        try {
            ReadCompleteCurvePoints(path);
            ADD_FAILURE() << "read";
        } catch (const EIniFileError& error) {
            EXPECT_EQ(std::string(error.what()), "Courbe incomplète dans " + path + " : " + c.missing + " manque");
        }
    }
}

}  // namespace
