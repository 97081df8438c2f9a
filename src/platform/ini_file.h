#pragma once

#include "platform/exception.h"

#include <cstddef>
#include <cstdint>
#include <string>

// A file that could not be read or written; the text names the path.
class EIniFileError : public Exception {
public:
    using Exception::Exception;
};

// An INI file on disk, read and written one key at a time (see TIniDocument
// for how its lines are read). Nothing is cached: each read loads the file as
// it is now, and each write reaches the file at once.
//
// A write changes one line in place (or adds one) and keeps every other byte.
// It replaces the file atomically: a temporary file in the same folder is
// written, flushed to disk and renamed over the file, which keeps its
// permission bits (and, when allowed, its owner); through a symbolic link the
// link's target is replaced. A file without any write permission bit, or one
// the process may not write, is refused even for a superuser. Any failure
// raises EIniFileError "Impossible d'écrire dans <path>" and leaves the file
// as it was and no temporary file behind.
//
// A file larger than MaxFileSize is neither read nor replaced: no more than
// that is ever loaded, so a huge or endless file costs neither memory nor time.
class TIniFile {
public:
    // The largest file read or written, in bytes (a curve file takes a few hundred).
    static constexpr std::size_t MaxFileSize = std::size_t{1} << 20;

    // The file at `path`; nothing is opened or checked yet.
    explicit TIniFile(std::string path);

    // The path given at construction.
    const std::string& FileName() const { return path_; }

    // The value of `key` in `section`, or `defaultValue` when the file, the
    // section or the key is missing. A file that exists but cannot be read
    // raises EIniFileError "Impossible de lire <path>"; one larger than
    // MaxFileSize, "Impossible de lire <path> : le fichier dépasse 1 Mo".
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;

    // The value read as ParseIniInteger does; `defaultValue` when it is missing
    // or is not such an integer.
    std::int32_t ReadInteger(const std::string& section, const std::string& key,
                             std::int32_t defaultValue) const;

    // Stores `value` under `key` in `section` at once; names and values that
    // would not read back as given are refused like any failed write.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);

    // Stores `value` in decimal.
    void WriteInteger(const std::string& section, const std::string& key, std::int32_t value);

private:
    std::string path_;
};
