// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ini_file.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <new>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// How long a read or a save tries for the lock that others hold on the file,
// and how often.
constexpr auto LockPatience = std::chrono::milliseconds(300);
// How long a save may start again on a file that other saves keep replacing
// while it waits: each round is one that another save has completed.
constexpr auto ReplacedPatience = std::chrono::seconds(2);
constexpr auto LockRetry = std::chrono::milliseconds(5);
// Symbolic links followed before a path counts as a loop, as for the system.
constexpr int MaxLinks = 40;

[[noreturn]] void FailRead(const std::string& path)
{
    throw EIniFileError("Impossible de lire " + path);
}

[[noreturn]] void FailTooLarge(const std::string& path)
{
    throw EIniFileError("Impossible de lire " + path + " : le fichier dépasse 1 Mo");
}

[[noreturn]] void FailWrite(const std::string& path)
{
    throw EIniFileError("Impossible d'écrire dans " + path);
}

constexpr const char* LockedSuffix = " : verrouillé par un autre programme";

// Closes a descriptor when it goes out of scope; closing it also releases
// the lock taken through it.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int Get() const { return fd_; }
    // Closes now and tells whether the close succeeded (write errors may show here).
    bool Close()
    {
        const int fd = std::exchange(fd_, -1);
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

enum class LockResult { Locked, Busy, Failed };

extern "C" void OnLockTick(int) {}

// The signal that wakes a thread waiting for a lock, so that it can look at
// its deadline; its handler does nothing, and it interrupts the wait since
// it does not restart it.
int LockTickSignal()
{
    static const int signal = [] {
        const int number = SIGRTMIN + 3;
        struct sigaction action {};
        action.sa_handler = OnLockTick;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        ::sigaction(number, &action, nullptr);
        return number;
    }();
    return signal;
}

LockResult Classify(int error)
{
    if (error == EWOULDBLOCK || error == EINTR)
        return LockResult::Busy;
    // A file system without locks: the file is used unlocked.
    return error == ENOLCK || error == EINVAL || error == EOPNOTSUPP ? LockResult::Locked : LockResult::Failed;
}

// Tries the lock every few milliseconds: for a thread that cannot be woken.
LockResult PollLock(int fd, int operation, Clock::time_point deadline)
{
    for (;;) {
        if (::flock(fd, operation | LOCK_NB) == 0)
            return LockResult::Locked;
        const LockResult result = Classify(errno);
        if (result != LockResult::Busy || Clock::now() >= deadline)
            return result;
        std::this_thread::sleep_for(LockRetry);
    }
}

// Takes the advisory lock `operation` (LOCK_SH or LOCK_EX) on an open file,
// waiting until `deadline` at most for whoever holds it. The wait is the
// system's own, which wakes the waiters as soon as the lock is let go (tries
// now and then would seldom find free a lock that busy savers pass from one
// to the next); a timer of this thread's own interrupts it every few
// milliseconds to look at the deadline. No thread is left waiting: a stuck
// or hostile holder costs the deadline and no more.
LockResult LockFile(int fd, int operation, Clock::time_point deadline)
{
    if (::flock(fd, operation | LOCK_NB) == 0)
        return LockResult::Locked;
    if (Classify(errno) != LockResult::Busy)
        return Classify(errno);
    const int signal = LockTickSignal();
    sigset_t tick;
    sigemptyset(&tick);
    sigaddset(&tick, signal);
    sigset_t blocked;
    if (::pthread_sigmask(SIG_BLOCK, nullptr, &blocked) != 0 || sigismember(&blocked, signal))
        return PollLock(fd, operation, deadline);
    struct sigevent event {};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = signal;
    event._sigev_un._tid = static_cast<pid_t>(::gettid());
    timer_t timer{};
    if (::timer_create(CLOCK_MONOTONIC, &event, &timer) != 0)
        return PollLock(fd, operation, deadline);
    const long tickNs = std::chrono::duration_cast<std::chrono::nanoseconds>(LockRetry).count();
    const struct itimerspec ticks {{0, tickNs}, {0, tickNs}};
    LockResult result = LockResult::Busy;
    if (::timer_settime(timer, 0, &ticks, nullptr) == 0) {
        for (;;) {
            if (::flock(fd, operation) == 0) {
                result = LockResult::Locked;
                break;
            }
            result = Classify(errno);
            if (result != LockResult::Busy || Clock::now() >= deadline)
                break;
        }
    } else {
        result = PollLock(fd, operation, deadline);
    }
    // A tick already sent is taken here, so that it interrupts nothing else.
    ::pthread_sigmask(SIG_BLOCK, &tick, nullptr);
    ::timer_delete(timer);
    const struct timespec now {};
    while (::sigtimedwait(&tick, nullptr, &now) == signal) {
    }
    ::pthread_sigmask(SIG_UNBLOCK, &tick, nullptr);
    return result;
}

enum class LoadResult { Loaded, Missing, Failed, TooLarge, Locked };

// Reads the whole of an open regular file, from its start, into `bytes`. At
// most one byte beyond MaxFileSize is read, also from a file that grows
// while it is read or whose size the system does not tell.
LoadResult ReadWhole(int fd, const struct stat& status, std::string& bytes)
{
    if (static_cast<std::uintmax_t>(status.st_size) > TIniFile::MaxFileSize)
        return LoadResult::TooLarge;
    try {
        bytes.clear();
        bytes.reserve(static_cast<std::size_t>(status.st_size));
        char buffer[65536];
        for (;;) {
            if (bytes.size() > TIniFile::MaxFileSize)
                return LoadResult::TooLarge;
            const std::size_t wanted = std::min(sizeof buffer, TIniFile::MaxFileSize + 1 - bytes.size());
            const ssize_t count = ::pread(fd, buffer, wanted, static_cast<off_t>(bytes.size()));
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0)
                return LoadResult::Failed;
            if (count == 0)
                break;
            bytes.append(buffer, static_cast<std::size_t>(count));
        }
    } catch (const std::bad_alloc&) {
        return LoadResult::Failed;
    } catch (const std::length_error&) {
        return LoadResult::Failed;
    }
    return LoadResult::Loaded;
}

// Reads the regular file at `path` into `bytes`, under a shared lock. Anything
// that is not a regular file (a folder, a device, a pipe) cannot be read as an
// INI file; O_NONBLOCK keeps opening a pipe from waiting for a writer.
LoadResult LoadFile(const std::string& path, std::string& bytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? LoadResult::Missing : LoadResult::Failed;
    const FileDescriptor file(fd);
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return LoadResult::Failed;
    // A save in place holds the lock while the file is half written.
    switch (LockFile(fd, LOCK_SH, Clock::now() + LockPatience)) {
    case LockResult::Locked:
        break;
    case LockResult::Busy:
        return LoadResult::Locked;
    case LockResult::Failed:
        return LoadResult::Failed;
    }
    if (::fstat(fd, &status) != 0)
        return LoadResult::Failed;
    return ReadWhole(fd, status, bytes);
}

bool WriteAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        done += static_cast<std::size_t>(count);
    }
    return true;
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Whether a link may be followed, by the rule the system applies to opening
// (fs.protected_symlinks): a link that another user left in a sticky
// world-writable folder such as /tmp could steer a save into someone's file.
bool MayFollow(const std::string& link, const struct stat& status)
{
    if (status.st_uid == ::geteuid())
        return true;
    struct stat folder {};
    if (::stat(FolderOf(link).c_str(), &folder) != 0)
        return false;
    const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    return !shared || folder.st_uid == status.st_uid;
}

// The file that `path` names once every symbolic link on its way is followed,
// also when the last link points to nothing yet. False on a loop, a link
// that cannot be read, or one that may not be followed.
bool FollowLinks(const std::string& path, std::string& target)
{
    target = path;
    for (int links = 0; links <= MaxLinks; ++links) {
        struct stat status {};
        // What cannot be looked at is the caller's to find out.
        if (::lstat(target.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
            return true;
        if (!MayFollow(target, status))
            return false;
        char destination[4096];
        const ssize_t length = ::readlink(target.c_str(), destination, sizeof destination);
        if (length <= 0 || static_cast<std::size_t>(length) >= sizeof destination)
            return false;
        const std::string next(destination, static_cast<std::size_t>(length));
        // A relative link is relative to the folder that holds it.
        target = next.front() == '/' ? next : FolderOf(target) + "/" + next;
    }
    return false;
}

// The process's file mode creation mask, as the system reports it; reading it
// through umask() would change it for a moment under the other threads.
mode_t CurrentUmask()
{
    constexpr mode_t Usual = 022;
    const FileDescriptor file(::open("/proc/self/status", O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0)
        return Usual;
    char text[4096];
    const ssize_t count = ::read(file.Get(), text, sizeof text - 1);
    if (count <= 0)
        return Usual;
    text[count] = '\0';
    const char* field = std::strstr(text, "\nUmask:");
    if (field == nullptr)
        return Usual;
    return static_cast<mode_t>(std::strtoul(field + 7, nullptr, 8) & 0777);
}

// Gives `to` the extended attributes of `from`, ACLs among them. False when
// one of them cannot be read or set.
bool CopyExtendedAttributes(int from, int to)
{
    const ssize_t listed = ::flistxattr(from, nullptr, 0);
    if (listed < 0)
        return errno == ENOTSUP;
    std::vector<char> names(static_cast<std::size_t>(listed) + 1, '\0');
    const ssize_t size = ::flistxattr(from, names.data(), names.size() - 1);
    if (size < 0)
        return false;
    for (std::size_t at = 0; at < static_cast<std::size_t>(size); at += std::strlen(names.data() + at) + 1) {
        const char* name = names.data() + at;
        const ssize_t length = ::fgetxattr(from, name, nullptr, 0);
        if (length < 0)
            return false;
        std::vector<char> value(static_cast<std::size_t>(length) + 1);
        const ssize_t got = ::fgetxattr(from, name, value.data(), value.size() - 1);
        if (got < 0 || ::fsetxattr(to, name, value.data(), static_cast<std::size_t>(got), 0) != 0)
            return false;
    }
    return true;
}

// The file that a save replaces: open, locked, with its status.
struct Original {
    int fd;
    struct stat status;
};

enum class Outcome { Written, NotPossible, Failed };

bool DeniedHere(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

// Puts a file holding `bytes` at `target` in one rename: a temporary file of
// a random name in the same folder is written and flushed first. A new file
// takes its permissions from the umask; a replaced one keeps the owner,
// group, permission bits and extended attributes of `original`. NotPossible,
// with nothing changed, when the folder refuses the new file or the rename,
// or something of the original cannot be kept.
Outcome PlaceFile(const std::string& target, const std::string& bytes, const Original* original)
{
    const std::string folder = FolderOf(target);
    std::string temporary = folder + "/.~ini-XXXXXX.tmp";
    const int fd = ::mkostemps(temporary.data(), 4, O_CLOEXEC);
    if (fd < 0)
        return original && DeniedHere(errno) ? Outcome::NotPossible : Outcome::Failed;
    FileDescriptor file(fd);
    const auto discard = [&](Outcome outcome) {
        ::unlink(temporary.c_str());
        return outcome;
    };
    if (original) {
        struct stat created {};
        if (::fstat(fd, &created) != 0)
            return discard(Outcome::Failed);
        const struct stat& kept = original->status;
        // Without the privilege to give the file away, a file of another
        // owner or group cannot be replaced by one of ours.
        if ((created.st_uid != kept.st_uid || created.st_gid != kept.st_gid)
            && ::fchown(fd, kept.st_uid, kept.st_gid) != 0)
            return discard(Outcome::NotPossible);
        if (::fchmod(fd, kept.st_mode & 07777) != 0 || !CopyExtendedAttributes(original->fd, fd))
            return discard(Outcome::NotPossible);
    } else if (::fchmod(fd, 0666 & ~CurrentUmask()) != 0) {
        return discard(Outcome::Failed);
    }
    if (!WriteAll(fd, bytes) || ::fsync(fd) != 0 || !file.Close())
        return discard(Outcome::Failed);
    if (::rename(temporary.c_str(), target.c_str()) != 0)
        return discard(original && DeniedHere(errno) ? Outcome::NotPossible : Outcome::Failed);
    // The new content is in place; syncing the folder only makes the rename
    // itself durable sooner, so its failure changes nothing for the caller.
    const FileDescriptor folderFile(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFile.Get() >= 0)
        static_cast<void>(::fsync(folderFile.Get()));
    return Outcome::Written;
}

// Writes `bytes` over the file open as `fd`, whose contents are `old`. Room
// for the new contents is reserved first, so that a full disk refuses the
// save before anything changes; a write that fails part-way puts `old` back.
bool WriteInPlace(int fd, const std::string& old, const std::string& bytes)
{
    if (bytes.size() > old.size()
        && ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes.size())) != 0
        && (errno == ENOSPC || errno == EDQUOT))
        return false;
    if (WriteAll(fd, bytes) && ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && ::fsync(fd) == 0)
        return true;
    if (WriteAll(fd, old) && ::ftruncate(fd, static_cast<off_t>(old.size())) == 0)
        static_cast<void>(::fsync(fd));
    return false;
}

}  // namespace

TIniFile::TIniFile(std::string path) : path_(std::move(path)) {}

TIniDocument TIniFile::ReadDocument() const
{
    std::string bytes;
    switch (LoadFile(path_, bytes)) {
    case LoadResult::Missing:
        return TIniDocument();
    case LoadResult::Failed:
        FailRead(path_);
    case LoadResult::TooLarge:
        FailTooLarge(path_);
    case LoadResult::Locked:
        throw EIniFileError("Impossible de lire " + path_ + LockedSuffix);
    case LoadResult::Loaded:
        break;
    }
    return TIniDocument(std::move(bytes));
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const
{
    return ReadDocument().Find(section, key).value_or(defaultValue);
}

std::int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key,
                                   std::int32_t defaultValue) const
{
    return ParseIniInteger(ReadString(section, key, std::string())).value_or(defaultValue);
}

void TIniFile::Update(const std::function<bool(TIniDocument& document)>& edit)
{
    if (path_.empty())
        FailWrite(path_);
    const auto edited = [&](std::string before) {
        TIniDocument document(std::move(before));
        // A file grown beyond the limit could not be read back.
        if (!edit(document) || document.Bytes().size() > MaxFileSize)
            FailWrite(path_);
        return document;
    };
    // Takes the lock, or raises why it cannot.
    const auto TakeLock = [&](int fd, int operation, Clock::time_point until) {
        switch (LockFile(fd, operation, until)) {
        case LockResult::Locked:
            return;
        case LockResult::Busy:
            throw EIniFileError("Impossible d'écrire dans " + path_ + LockedSuffix);
        case LockResult::Failed:
            FailWrite(path_);
        }
    };
    // Whether `target` still names the file of `status`.
    const auto StillStands = [](const std::string& target, const struct stat& status) {
        struct stat now {};
        return ::lstat(target.c_str(), &now) == 0 && now.st_dev == status.st_dev && now.st_ino == status.st_ino;
    };
    // A save that finds the file replaced starts again, within one patience.
    const Clock::time_point deadline = Clock::now() + ReplacedPatience;
    while (Clock::now() < deadline) {
        std::string target;
        if (!FollowLinks(path_, target))
            FailWrite(path_);
        struct stat status {};
        if (::lstat(target.c_str(), &status) != 0) {
            if (errno != ENOENT || PlaceFile(target, edited({}).Bytes(), nullptr) != Outcome::Written)
                FailWrite(path_);
            return;
        }
        if (S_ISLNK(status.st_mode))
            continue;  // made a link since it was followed
        if (!S_ISREG(status.st_mode))
            FailWrite(path_);
        const FileDescriptor file(::open(target.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
        if (file.Get() < 0) {
            if (errno == ENOENT || errno == ELOOP)
                continue;  // removed, or made a link, since it was looked at
            FailWrite(path_);
        }
        Original original{file.Get(), {}};
        // A save that replaces the file shares the lock with readers and
        // with other such saves: each reads a whole file and puts a whole
        // one in its place, and waiting for the file another save is about
        // to replace would never end while saves follow one another.
        TakeLock(file.Get(), LOCK_SH, std::min(deadline, Clock::now() + LockPatience));
        if (::fstat(file.Get(), &original.status) != 0)
            FailWrite(path_);
        // Another save may have replaced the file while this one waited for
        // the lock: start again on the file that stands there now.
        if (!StillStands(target, original.status))
            continue;
        // The mode bits decide even for a superuser, whom open() never refuses.
        if ((original.status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            FailWrite(path_);
        std::string old;
        if (ReadWhole(file.Get(), original.status, old) != LoadResult::Loaded)
            FailWrite(path_);
        // A rename would split a file of several links, and needs a folder
        // that takes new files; such a file is written in place.
        if (original.status.st_nlink == 1) {
            switch (PlaceFile(target, edited(old).Bytes(), &original)) {
            case Outcome::Written:
                return;
            case Outcome::Failed:
                FailWrite(path_);
            case Outcome::NotPossible:
                break;
            }
        }
        // Writing in place excludes everyone; the file is read again once
        // that is so, since the lock is let go for a moment on the way.
        TakeLock(file.Get(), LOCK_EX, std::min(deadline, Clock::now() + LockPatience));
        if (::fstat(file.Get(), &original.status) != 0)
            FailWrite(path_);
        if (!StillStands(target, original.status))
            continue;
        if (ReadWhole(file.Get(), original.status, old) != LoadResult::Loaded)
            FailWrite(path_);
        if (!WriteInPlace(file.Get(), old, edited(old).Bytes()))
            FailWrite(path_);
        return;
    }
    FailWrite(path_);
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    if (!TIniDocument::CanStore(section, key, value))
        FailWrite(path_);
    Update([&](TIniDocument& document) { return document.Set(section, key, value); });
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, std::int32_t value)
{
    WriteString(section, key, std::to_string(value));
}
