// SPDX-License-Identifier: GPL-3.0-or-later
// Saves by a user who is not root, into files and folders that the test
// prepares: the save helper runs as "nobody" (through setpriv when the test
// runs as root, else as the test's own user). A save that can be done is
// done without changing what else the user sees of the file (its links, its
// owner, its permissions); one that cannot leaves the old curve loading
// intact, and the user gets the error.
#include "curve/curve_file.h"
#include "interrupted_save_curves.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr uid_t Nobody = 65534;
constexpr gid_t NoGroup = 65534;

const CurvePoints& OldCurve = SavedCurves[1];
const CurvePoints& NewCurve = SavedCurves[0]; // its text is the longer one

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct stat StatusOf(const std::string& path)
{
    struct stat status {};
    EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
    return status;
}

class SaveAsUserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        root = dir.path().toStdString();
        // The user must reach the folder and run a helper of its own.
        fs::permissions(root, fs::perms(0755));
        helper = root + "/curve_save_loop";
        ASSERT_TRUE(QFile::copy(QStringLiteral(VELOMORPH_SAVE_LOOP_EXE), QString::fromStdString(helper)));
        fs::permissions(helper, fs::perms(0755));
    }

    static bool AsRoot() { return ::geteuid() == 0; }

    // A folder owned by the user (or by root, when `rootOwned` and the test
    // can give it to root), with these permissions.
    std::string Folder(const std::string& name, bool rootOwned, fs::perms mode) const
    {
        const std::string path = root + "/" + name;
        EXPECT_TRUE(fs::create_directory(path));
        GiveAway(path, rootOwned);
        fs::permissions(path, mode);
        return path;
    }

    // A curve file holding the old curve, owned as for Folder.
    static void CurveFile(const std::string& path, bool rootOwned, fs::perms mode)
    {
        std::ofstream(path, std::ios::binary) << "; made by hand\r\n[Other]\r\nx=y\r\n";
        WriteCurveFile(path, OldCurve);
        GiveAway(path, rootOwned);
        fs::permissions(path, mode);
    }

    static void GiveAway(const std::string& path, bool rootOwned)
    {
        if (AsRoot() && !rootOwned) {
            EXPECT_EQ(::lchown(path.c_str(), Nobody, NoGroup), 0) << path;
        }
    }

    // Saves the new curve into `path` as the user; the error it reports, or
    // empty when it succeeded.
    std::string SaveAsUser(const std::string& path) const
    {
        QProcess saver;
        QStringList arguments{"-n", "1", QString::fromStdString(path), "0"};
        if (AsRoot()) {
            arguments.prepend(QString::fromStdString(helper));
            arguments = QStringList{"--reuid=" + QString::number(Nobody), "--regid=" + QString::number(NoGroup),
                                    "--clear-groups", "--"}
                + arguments;
            saver.start(QStringLiteral("setpriv"), arguments);
        } else {
            saver.start(QString::fromStdString(helper), arguments);
        }
        EXPECT_TRUE(saver.waitForFinished(30000));
        EXPECT_EQ(saver.exitStatus(), QProcess::NormalExit);
        const std::string error = saver.readAllStandardError().trimmed().toStdString();
        EXPECT_EQ(saver.exitCode(), error.empty() ? 0 : 1) << error;
        return error;
    }

    static std::vector<std::string> Entries(const std::string& folder)
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    static std::string Refusal(const std::string& path) { return "Impossible d'écrire dans " + path; }

    QTemporaryDir dir;
    std::string root;
    std::string helper;
};

// The folder takes no new file, the file may be written: it is written in
// place, and keeps its owner and permissions.
TEST_F(SaveAsUserTest, AWritableFileInAReadOnlyFolder)
{
    const std::string folder = Folder("lecture", true, fs::perms(0755));
    const std::string path = folder + "/courbe.dat";
    CurveFile(path, true, fs::perms(0666));
    fs::permissions(folder, fs::perms(0555));
    const struct stat before = StatusOf(path);

    EXPECT_EQ(SaveAsUser(path), "");
    EXPECT_EQ(ReadPointsAsWritten(path), NewCurve);
    EXPECT_TRUE(ReadBytes(path).starts_with("; made by hand\r\n[Other]\r\nx=y\r\n"));
    const struct stat after = StatusOf(path);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(Entries(folder), std::vector<std::string>{"courbe.dat"});
}

// A file of two names is written in place: both names show the new curve.
TEST_F(SaveAsUserTest, AHardLinkedFile)
{
    const std::string folder = Folder("liens", false, fs::perms(0755));
    const std::string path = folder + "/courbe.dat";
    const std::string other = folder + "/copie.dat";
    CurveFile(path, false, fs::perms(0644));
    fs::create_hard_link(path, other);

    EXPECT_EQ(SaveAsUser(path), "");
    EXPECT_EQ(ReadPointsAsWritten(other), NewCurve);
    EXPECT_EQ(StatusOf(path).st_ino, StatusOf(other).st_ino);
    EXPECT_EQ(StatusOf(path).st_nlink, 2u);
    EXPECT_EQ(Entries(folder), (std::vector<std::string>{"copie.dat", "courbe.dat"}));
}

// A file that another user shares with everyone, in the user's own folder:
// a replacement would take it over, so it is written in place.
TEST_F(SaveAsUserTest, AnotherUsersSharedFileKeepsItsOwner)
{
    if (!AsRoot())
        GTEST_SKIP() << "a file of another owner is made by root";
    const std::string folder = Folder("partage", false, fs::perms(0755));
    const std::string path = folder + "/courbe.dat";
    CurveFile(path, true, fs::perms(0666));

    EXPECT_EQ(SaveAsUser(path), "");
    EXPECT_EQ(ReadPointsAsWritten(path), NewCurve);
    EXPECT_EQ(StatusOf(path).st_uid, 0u);
    EXPECT_EQ(StatusOf(path).st_gid, 0u);
    EXPECT_EQ(StatusOf(path).st_mode & 07777, 0666u);
    EXPECT_EQ(Entries(folder), std::vector<std::string>{"courbe.dat"});
}

// Through a symbolic link the target is written and the link stays; a link
// to nothing yet creates its target; one whose target cannot be created is
// refused, and stays as it was.
TEST_F(SaveAsUserTest, SymbolicLinks)
{
    const std::string folder = Folder("liens", false, fs::perms(0755));
    const std::string target = folder + "/cible.dat";
    CurveFile(target, false, fs::perms(0644));
    const std::string link = folder + "/lien.dat";
    const std::string dangling = folder + "/vers-rien.dat";
    const std::string nowhere = folder + "/vers-nulle-part.dat";
    fs::create_symlink("cible.dat", link);
    fs::create_symlink("nouvelle.dat", dangling);
    fs::create_symlink("absent/nouvelle.dat", nowhere);
    for (const std::string& name : {link, dangling, nowhere})
        GiveAway(name, false);

    EXPECT_EQ(SaveAsUser(link), "");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadPointsAsWritten(target), NewCurve);

    EXPECT_EQ(SaveAsUser(dangling), "");
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_EQ(ReadPointsAsWritten(folder + "/nouvelle.dat"), NewCurve);
    EXPECT_EQ(StatusOf(folder + "/nouvelle.dat").st_uid, AsRoot() ? Nobody : ::geteuid());

    EXPECT_EQ(SaveAsUser(nowhere), Refusal(nowhere));
    EXPECT_EQ(fs::read_symlink(nowhere), "absent/nouvelle.dat");
    EXPECT_EQ(Entries(folder), (std::vector<std::string>{"cible.dat", "lien.dat", "nouvelle.dat",
                                                          "vers-nulle-part.dat", "vers-rien.dat"}));
}

TEST_F(SaveAsUserTest, AReadOnlyFileIsRefused)
{
    const std::string folder = Folder("lecture", false, fs::perms(0755));
    const std::string path = folder + "/courbe.dat";
    CurveFile(path, false, fs::perms(0444));
    const std::string bytes = ReadBytes(path);

    EXPECT_EQ(SaveAsUser(path), Refusal(path));
    EXPECT_EQ(ReadBytes(path), bytes);
    EXPECT_EQ(Entries(folder), std::vector<std::string>{"courbe.dat"});
}

// A disk with no room left: a small tmpfs, filled up. Neither a replacement
// (in the user's folder) nor a write in place (in a read-only folder) can
// take the longer new curve: the old one stays whole.
TEST_F(SaveAsUserTest, AFullDisk)
{
    if (!AsRoot())
        GTEST_SKIP() << "a full disk is staged on a small tmpfs, which only root may mount";
    const std::string disk = root + "/disque";
    ASSERT_TRUE(fs::create_directory(disk));
    if (::mount("tmpfs", disk.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k,mode=0755") != 0)
        GTEST_SKIP() << "this machine lets no tmpfs be mounted here: " << std::strerror(errno);
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{disk};

    const std::string own = disk + "/a-moi";
    const std::string shared = disk + "/partage";
    ASSERT_TRUE(fs::create_directory(own));
    ASSERT_TRUE(fs::create_directory(shared));
    ASSERT_EQ(::chown(own.c_str(), Nobody, NoGroup), 0);
    // Each file fills its last page to the byte, so the longer curve needs one more.
    const auto prepare = [](const std::string& path) {
        CurveFile(path, false, fs::perms(0666));
        std::string bytes = ReadBytes(path);
        bytes.insert(0, "; " + std::string(4096 - bytes.size() - 4, '-') + "\r\n");
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        return bytes;
    };
    const std::string replaced = own + "/courbe.dat";
    const std::string inPlace = shared + "/courbe.dat";
    const std::string replacedBytes = prepare(replaced);
    const std::string inPlaceBytes = prepare(inPlace);
    fs::permissions(shared, fs::perms(0555));
    ASSERT_EQ(replacedBytes.size(), 4096u);

    // Fill what is left.
    const int filler = ::open((disk + "/remplissage").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(filler, 0);
    const std::string block(4096, '\0');
    while (::write(filler, block.data(), block.size()) > 0) {
    }
    EXPECT_EQ(errno, ENOSPC);
    ::close(filler);

    for (const auto& [path, bytes] : {std::pair{replaced, replacedBytes}, std::pair{inPlace, inPlaceBytes}}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(SaveAsUser(path), Refusal(path));
        EXPECT_EQ(ReadBytes(path), bytes);
        EXPECT_EQ(ReadPointsAsWritten(path), OldCurve);
    }
    EXPECT_EQ(Entries(own), std::vector<std::string>{"courbe.dat"});
    EXPECT_EQ(Entries(shared), std::vector<std::string>{"courbe.dat"});
}

} // namespace
