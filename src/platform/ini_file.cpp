#include "platform/ini_file.h"

#include "platform/ini_document.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <optional>
#include <stdexcept>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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

// Closes a descriptor when it goes out of scope.
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

enum class LoadResult { Loaded, Missing, Failed, TooLarge };

// Reads the whole regular file at `path` into `bytes`. Anything that is not a
// regular file (a folder, a device, a pipe) cannot be read as an INI file;
// O_NONBLOCK keeps opening a pipe from waiting for a writer. At most one byte
// beyond MaxFileSize is read, also from a file that grows while it is read or
// whose size the system does not tell.
LoadResult LoadFile(const std::string& path, std::string& bytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? LoadResult::Missing : LoadResult::Failed;
    FileDescriptor file(fd);
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return LoadResult::Failed;
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
            const ssize_t count = ::read(fd, buffer, wanted);
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

bool WriteAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
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

// Replaces the file at `target` with `bytes` through a temporary file in the
// same folder; `original` is the status of the file being replaced, if any.
bool ReplaceFile(const std::string& target, const std::string& bytes, const std::optional<struct stat>& original)
{
    static std::atomic<unsigned> serial{0};
    const std::string folder = FolderOf(target);
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = folder + "/.~ini-" + std::to_string(::getpid()) + "-"
            + std::to_string(serial.fetch_add(1, std::memory_order_relaxed)) + ".tmp";
        // Mode 0666 lets the umask decide a new file's permissions, as for any created file.
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    FileDescriptor file(fd);
    bool ok = WriteAll(fd, bytes);
    if (ok && original) {
        if ((original->st_uid != ::geteuid() || original->st_gid != ::getegid())
            && ::fchown(fd, original->st_uid, original->st_gid) != 0) {
            // Keeping the owner needs privileges; without them the file becomes ours.
        }
        ok = ::fchmod(fd, original->st_mode & 07777) == 0;
    }
    ok = ok && ::fsync(fd) == 0;
    ok = file.Close() && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The new content is in place; syncing the folder only makes the rename
    // itself durable sooner, so its failure changes nothing for the caller.
    const FileDescriptor folderFile(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFile.Get() >= 0)
        static_cast<void>(::fsync(folderFile.Get()));
    return true;
}

}  // namespace

TIniFile::TIniFile(std::string path) : path_(std::move(path)) {}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const
{
    std::string bytes;
    switch (LoadFile(path_, bytes)) {
    case LoadResult::Missing:
        return defaultValue;
    case LoadResult::Failed:
        FailRead(path_);
    case LoadResult::TooLarge:
        FailTooLarge(path_);
    case LoadResult::Loaded:
        break;
    }
    return TIniDocument(std::move(bytes)).Find(section, key).value_or(defaultValue);
}

std::int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key,
                                   std::int32_t defaultValue) const
{
    return ParseIniInteger(ReadString(section, key, std::string())).value_or(defaultValue);
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    if (path_.empty() || !TIniDocument::CanStore(section, key, value))
        FailWrite(path_);
    std::string target = path_;
    std::optional<struct stat> original;
    struct stat status {};
    if (::stat(path_.c_str(), &status) == 0) {
        if (!S_ISREG(status.st_mode))
            FailWrite(path_);
        // The mode bits decide even for a superuser, whom access() never refuses.
        if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path_.c_str(), W_OK) != 0)
            FailWrite(path_);
        // Replace what a symbolic link points to, not the link itself.
        char* resolved = ::realpath(path_.c_str(), nullptr);
        if (resolved == nullptr)
            FailWrite(path_);
        target = resolved;
        std::free(resolved);
        original = status;
    } else if (errno != ENOENT) {
        FailWrite(path_);
    }

    std::string bytes;
    if (original && LoadFile(target, bytes) != LoadResult::Loaded)
        FailWrite(path_);
    TIniDocument document(std::move(bytes));
    // A file grown beyond the limit could not be read back.
    if (!document.Set(section, key, value) || document.Bytes().size() > MaxFileSize
        || !ReplaceFile(target, document.Bytes(), original))
        FailWrite(path_);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, std::int32_t value)
{
    WriteString(section, key, std::to_string(value));
}
