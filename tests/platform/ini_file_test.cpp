// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ini_file.h"

#include "platform/file_size_limit.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

class IniFileTest : public ::testing::Test {
protected:
    std::string PathOf(const std::string& name) const
    {
        return dir_.filePath(QString::fromStdString(name)).toStdString();
    }

    static std::string ReadBytes(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    static void WriteBytes(const std::string& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }

    static mode_t ModeOf(const std::string& path)
    {
        struct stat status {};
        EXPECT_EQ(::lstat(path.c_str(), &status), 0);
        return status.st_mode;
    }

    std::vector<std::string> FolderEntries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_.path().toStdString()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // Expects `write` to fail with the write error for `path` and to leave `bytes` in it.
    template <typename Write>
    static void ExpectRefused(const std::string& path, const std::string& bytes, Write write)
    {
        try {
            write();
            ADD_FAILURE() << "the write was not refused";
        } catch (const EIniFileError& error) {
            EXPECT_STREQ(error.what(), ("Impossible d'écrire dans " + path).c_str());
        }
        EXPECT_EQ(ReadBytes(path), bytes);
    }

    QTemporaryDir dir_;
};

TEST_F(IniFileTest, EachWriteReachesTheFileAtOnce)
{
    const std::string path = PathOf("a.ini");
    TIniFile ini(path);
    ini.WriteString("Points", "Name", "é;x=y");
    EXPECT_EQ(ReadBytes(path), "[Points]\r\nName=é;x=y\r\n");
    ini.WriteInteger("Points", "Count", -5);
    EXPECT_EQ(ReadBytes(path), "[Points]\r\nName=é;x=y\r\nCount=-5\r\n");
    ini.WriteInteger("points", "COUNT", 2147483647);
    EXPECT_EQ(ReadBytes(path), "[Points]\r\nName=é;x=y\r\nCount=2147483647\r\n");

    EXPECT_EQ(ini.ReadString("POINTS", "name", "?"), "é;x=y");
    EXPECT_EQ(ini.ReadInteger("Points", "Count", 0), 2147483647);
    EXPECT_EQ(ini.ReadInteger("Points", "Name", 42), 42);
    EXPECT_EQ(ini.ReadString("Points", "Missing", "default"), "default");
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"a.ini"});
}

TEST_F(IniFileTest, NewFileTakesTheUmaskAndAnExistingOneKeepsItsMode)
{
    const mode_t mask = ::umask(022);
    const std::string path = PathOf("a.ini");
    TIniFile ini(path);
    ini.WriteInteger("P", "K", 1);
    EXPECT_EQ(ModeOf(path) & 07777, 0644u);
    ::umask(mask);

    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ini.WriteInteger("P", "K", 2);
    EXPECT_EQ(ModeOf(path) & 07777, 0640u);
    EXPECT_EQ(ini.ReadInteger("P", "K", 0), 2);
}

TEST_F(IniFileTest, ReplacingKeepsTheOwnerWhenAllowed)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "changing a file's owner needs root";
    const std::string path = PathOf("a.ini");
    WriteBytes(path, "[P]\r\nK=1\r\n");
    ASSERT_EQ(::chown(path.c_str(), 1234, 5678), 0);
    TIniFile(path).WriteInteger("P", "K", 2);
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 1234u);
    EXPECT_EQ(status.st_gid, 5678u);
}

TEST_F(IniFileTest, MissingFileReadsDefaultsAndIsNotCreated)
{
    const std::string path = PathOf("none.ini");
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("P", "K", "d"), "d");
    EXPECT_EQ(ini.ReadInteger("P", "K", -3), -3);
    EXPECT_EQ(TIniFile(PathOf("none.ini/below")).ReadInteger("P", "K", 4), 4);
    EXPECT_TRUE(FolderEntries().empty());
}

TEST_F(IniFileTest, WhatCannotBeReadIsAnError)
{
    const std::string folder = PathOf("folder.ini");
    const std::string pipe = PathOf("pipe.ini");
    ASSERT_TRUE(fs::create_directory(folder));
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    for (const std::string& path : {folder, pipe}) {
        try {
            TIniFile(path).ReadString("P", "K", "d");
            ADD_FAILURE() << path << " was read";
        } catch (const EIniFileError& error) {
            EXPECT_STREQ(error.what(), ("Impossible de lire " + path).c_str());
        }
    }
}

TEST_F(IniFileTest, ReadOnlyFileIsRefusedEvenForRoot)
{
    const std::string bytes = "[P]\r\nK=1\r\n";
    for (const fs::perms mode : {fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read,
                                 fs::perms::owner_read | fs::perms::owner_exec, fs::perms::none}) {
        const std::string path = PathOf("a.ini");
        WriteBytes(path, bytes);
        fs::permissions(path, mode);
        ExpectRefused(path, bytes, [&] { TIniFile(path).WriteInteger("P", "K", 2); });
        EXPECT_EQ(FolderEntries(), std::vector<std::string>{"a.ini"});
        fs::remove(path);
    }
}

TEST_F(IniFileTest, UnwritablePlacesAreRefused)
{
    const std::string folder = PathOf("folder.ini");
    ASSERT_TRUE(fs::create_directory(folder));
    for (const std::string& path : {PathOf("missing/a.ini"), folder, ""s}) {
        try {
            TIniFile(path).WriteInteger("P", "K", 1);
            ADD_FAILURE() << '"' << path << "\" was written";
        } catch (const EIniFileError& error) {
            EXPECT_STREQ(error.what(), ("Impossible d'écrire dans " + path).c_str());
        }
    }
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"folder.ini"});
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(IniFileTest, FullDiskLeavesTheFileAndNoTemporary)
{
    const std::string path = PathOf("a.ini");
    const std::string bytes = "; keep\r\n[P]\r\nK=1\r\n";
    WriteBytes(path, bytes);
    FileSizeLimit limit(bytes.size() + 10);
    ASSERT_TRUE(limit.Active());
    ExpectRefused(path, bytes, [&] { TIniFile(path).WriteString("P", "K", std::string(100, 'x')); });
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"a.ini"});
}

TEST_F(IniFileTest, NothingAboveTheSizeLimitIsReadOrWritten)
{
    const std::string path = PathOf("big.ini");
    std::string bytes = "[P]\r\nK=1\r\n";
    bytes.resize(TIniFile::MaxFileSize, ';'); // one long comment line up to the limit
    WriteBytes(path, bytes);
    EXPECT_EQ(TIniFile(path).ReadInteger("P", "K", 0), 1);
    // Growing past the limit is refused; a change of the same length is not.
    ExpectRefused(path, bytes, [&] { TIniFile(path).WriteInteger("P", "New", 1); });
    TIniFile(path).WriteInteger("P", "K", 2);
    bytes[7] = '2';
    EXPECT_EQ(ReadBytes(path), bytes);

    bytes += ';';
    WriteBytes(path, bytes);
    try {
        TIniFile(path).ReadString("P", "K", "d");
        ADD_FAILURE() << "a file above the limit was read";
    } catch (const EIniFileError& error) {
        EXPECT_STREQ(error.what(), ("Impossible de lire " + path + " : le fichier dépasse 1 Mo").c_str());
    }
    ExpectRefused(path, bytes, [&] { TIniFile(path).WriteInteger("P", "K", 3); });
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"big.ini"});
}

TEST_F(IniFileTest, TextThatWouldNotReadBackIsRefused)
{
    const std::string path = PathOf("a.ini");
    const std::string bytes = "[P]\r\nK=1\r\n";
    WriteBytes(path, bytes);
    ExpectRefused(path, bytes, [&] { TIniFile(path).WriteString("P", "K", "two\r\nlines"); });
    ExpectRefused(path, bytes, [&] { TIniFile(path).WriteString("P", "K=", "1"); });
}

TEST_F(IniFileTest, WritingThroughALinkReplacesItsTarget)
{
    const std::string target = PathOf("target.ini");
    const std::string link = PathOf("link.ini");
    WriteBytes(target, "[P]\r\nK=1\r\n");
    fs::create_symlink(target, link);
    TIniFile(link).WriteInteger("P", "K", 2);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadBytes(target), "[P]\r\nK=2\r\n");
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"link.ini", "target.ini"}));
}

// A link to a file that does not exist yet is followed: the file it names is
// created, as careful editors do, and the link stays. One whose target
// cannot be created is refused and stays as it was.
TEST_F(IniFileTest, WritingThroughADanglingLinkCreatesItsTarget)
{
    ASSERT_TRUE(fs::create_directory(PathOf("sub")));
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> links; // name, what it points to
        const char* created;                                    // null: refused
    } cases[] = {
        {"relative", {{"link.ini", "new.ini"}}, "new.ini"},
        {"into a folder", {{"link.ini", "sub/new.ini"}}, "sub/new.ini"},
        {"absolute", {{"link.ini", PathOf("sub/absolute.ini")}}, "sub/absolute.ini"},
        {"a chain of links", {{"link.ini", "sub/middle.ini"}, {"sub/middle.ini", "../new.ini"}}, "new.ini"},
        {"into a missing folder", {{"link.ini", "missing/new.ini"}}, nullptr},
        {"a loop", {{"link.ini", "sub/back.ini"}, {"sub/back.ini", "../link.ini"}}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& [name, destination] : c.links)
            fs::create_symlink(destination, PathOf(name));
        const std::string link = PathOf("link.ini");
        if (c.created) {
            TIniFile(link).WriteInteger("P", "K", 1);
            EXPECT_EQ(ReadBytes(PathOf(c.created)), "[P]\r\nK=1\r\n");
            fs::remove(PathOf(c.created));
        } else {
            try {
                TIniFile(link).WriteInteger("P", "K", 1);
                ADD_FAILURE() << "the write was not refused";
            } catch (const EIniFileError& error) {
                EXPECT_STREQ(error.what(), ("Impossible d'écrire dans " + link).c_str());
            }
        }
        for (const auto& [name, destination] : c.links) {
            EXPECT_TRUE(fs::is_symlink(PathOf(name))) << name;
            fs::remove(PathOf(name));
        }
        EXPECT_EQ(FolderEntries(), std::vector<std::string>{"sub"});
        EXPECT_TRUE(fs::is_empty(PathOf("sub")));
    }
}

// As the system does when it opens a file: a link that another user left
// in a sticky world-writable folder such as /tmp is not followed.
TEST_F(IniFileTest, ALinkLeftByAnotherUserInASharedFolderIsNotFollowed)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "a link of another owner is made by root";
    const std::string shared = PathOf("shared");
    const std::string victim = PathOf("victim.ini");
    const std::string link = shared + "/courbe.dat";
    ASSERT_TRUE(fs::create_directory(shared));
    fs::permissions(shared, fs::perms(01777));
    WriteBytes(victim, "[P]\r\nK=1\r\n");
    fs::create_symlink(victim, link);
    ASSERT_EQ(::lchown(link.c_str(), 65534, 65534), 0);
    ExpectRefused(link, "[P]\r\nK=1\r\n", [&] { TIniFile(link).WriteInteger("P", "K", 2); });
    EXPECT_TRUE(fs::is_symlink(link));

    // The folder's owner may leave links there for others.
    ASSERT_EQ(::chown(shared.c_str(), 65534, 65534), 0);
    TIniFile(link).WriteInteger("P", "K", 2);
    EXPECT_EQ(ReadBytes(victim), "[P]\r\nK=2\r\n");
}

// A file of several names is written in place, so that every name still
// shows it; a write that fails part-way puts the old contents back.
TEST_F(IniFileTest, AFileOfSeveralLinksIsWrittenInPlaceAndRestoredWhenTheWriteFails)
{
    const std::string path = PathOf("a.ini");
    const std::string other = PathOf("b.ini");
    const std::string bytes = "; keep\r\n[P]\r\nK=1\r\n";
    WriteBytes(path, bytes);
    fs::create_hard_link(path, other);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    TIniFile(path).WriteInteger("P", "K", 2);
    EXPECT_EQ(ReadBytes(other), "; keep\r\n[P]\r\nK=2\r\n");

    // Room for a longer text is there, but the write stops at the size cap.
    {
        FileSizeLimit limit(bytes.size() + 10);
        ASSERT_TRUE(limit.Active());
        ExpectRefused(path, "; keep\r\n[P]\r\nK=2\r\n",
                      [&] { TIniFile(path).WriteString("P", "K", std::string(100, 'x')); });
    }
    EXPECT_EQ(ReadBytes(other), "; keep\r\n[P]\r\nK=2\r\n");
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_nlink, 2u);
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"a.ini", "b.ini"}));
}

TEST_F(IniFileTest, ReplacingKeepsExtendedAttributes)
{
    const std::string path = PathOf("a.ini");
    WriteBytes(path, "[P]\r\nK=1\r\n");
    if (::setxattr(path.c_str(), "user.velomorph", "kept", 4, 0) != 0)
        GTEST_SKIP() << "the temporary folder's file system takes no user attributes";
    TIniFile(path).WriteInteger("P", "K", 2);
    EXPECT_EQ(ReadBytes(path), "[P]\r\nK=2\r\n");
    char value[16] = {};
    ASSERT_EQ(::getxattr(path.c_str(), "user.velomorph", value, sizeof value), 4);
    EXPECT_STREQ(value, "kept");
}

// The temporary file's name is drawn at random: files of any name that
// someone left in the folder neither stop a save nor are touched by it.
TEST_F(IniFileTest, TemporaryNamesCannotBeTakenInAdvance)
{
    const std::string path = PathOf("a.ini");
    const std::string victim = PathOf("victim");
    WriteBytes(path, "[P]\r\nK=1\r\n");
    WriteBytes(victim, "untouched");
    std::vector<std::string> expected{"a.ini", "victim"};
    for (int n = 0; n < 50; ++n) {
        const std::string name = ".~ini-" + std::to_string(::getpid()) + "-" + std::to_string(n) + ".tmp";
        fs::create_symlink(victim, PathOf(name));
        expected.push_back(name);
    }
    std::sort(expected.begin(), expected.end());
    TIniFile(path).WriteInteger("P", "K", 2);
    EXPECT_EQ(ReadBytes(path), "[P]\r\nK=2\r\n");
    EXPECT_EQ(ReadBytes(victim), "untouched");
    EXPECT_EQ(FolderEntries(), expected);
}

// Threads of this process, as the system counts them.
std::size_t ThreadCount()
{
    return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator()));
}

// Saves and loads hold a lock on the file; one held for ever by someone else
// makes them give up with an error that says so, not hang, and leaves no
// thread waiting behind.
TEST_F(IniFileTest, AStuckLockHolderMakesSavesAndLoadsGiveUp)
{
    const std::string path = PathOf("a.ini");
    const std::string bytes = "[P]\r\nK=1\r\n";
    WriteBytes(path, bytes);
    const int holder = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    const std::size_t threads = ThreadCount();
    for (int attempt = 0; attempt < 3; ++attempt) {
        try {
            TIniFile(path).WriteInteger("P", "K", 2);
            ADD_FAILURE() << "the file was written under another's lock";
        } catch (const EIniFileError& error) {
            EXPECT_STREQ(error.what(), ("Impossible d'écrire dans " + path + " : verrouillé par un autre programme").c_str());
        }
        try {
            TIniFile(path).ReadString("P", "K", "d");
            ADD_FAILURE() << "the file was read under another's lock";
        } catch (const EIniFileError& error) {
            EXPECT_STREQ(error.what(), ("Impossible de lire " + path + " : verrouillé par un autre programme").c_str());
        }
    }
    EXPECT_EQ(ReadBytes(path), bytes);
    EXPECT_EQ(ThreadCount(), threads);
    // A reader's shared lock lets readers in, and a save that replaces the
    // file: the reader goes on reading the file it opened. A save in place
    // (a file of two names) must wait for every reader.
    ASSERT_EQ(::flock(holder, LOCK_SH), 0);
    EXPECT_EQ(TIniFile(path).ReadInteger("P", "K", 0), 1);
    TIniFile(path).WriteInteger("P", "K", 2);
    EXPECT_EQ(TIniFile(path).ReadInteger("P", "K", 0), 2);
    ::close(holder);
    const std::string copy = PathOf("b.ini");
    fs::create_hard_link(path, copy);
    const int reader = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    ASSERT_EQ(::flock(reader, LOCK_SH), 0);
    EXPECT_THROW(TIniFile(path).WriteInteger("P", "K", 3), EIniFileError);
    ::close(reader);
    TIniFile(path).WriteInteger("P", "K", 3);
    EXPECT_EQ(TIniFile(copy).ReadInteger("P", "K", 0), 3);
}

}  // namespace
