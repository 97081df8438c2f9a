// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/exception.h"
#include "platform/ini_document.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// A file that could not be read or written; the text names the path.
class EIniFileError : public Exception {
public:
    using Exception::Exception;
};

// An INI file on disk (see TIniDocument for how its lines are read). Nothing
// is cached: each read loads the file as it is now, and each change reaches
// the file at once.
//
// A change edits the file's text (every other byte is kept) and writes the
// result as a whole, holding an advisory lock (flock) on the file meanwhile:
// a shared one when it replaces the file (readers, and other saves that
// replace it, go on with the file they opened), an exclusive one when it
// writes in place; reads hold a shared lock, so they never see half a
// change. The lock is waited for a few hundred milliseconds at most, on the
// calling thread (a timer of its own wakes it): a file that
// another program keeps locked longer raises EIniFileError "Impossible de
// lire <path> : verrouillé par un autre programme" (or "Impossible d'écrire
// dans <path> : verrouillé par un autre programme"). The file is
// replaced atomically (a temporary file of a random name in the same folder,
// written, flushed, given the file's owner, group, permission bits and
// extended attributes, then renamed over it) when its folder is writable, it
// has a single link and its owner, group and attributes can be kept.
// Otherwise it is written in place: the old contents stay in memory, room
// for the new ones is reserved first, and a write that fails part-way puts
// the old contents back. A symbolic link is followed and its target written,
// also a target that does not exist yet; the link stays a link. As when the
// system opens a file, a link that another user left in a sticky
// world-writable folder (such as /tmp) is not followed. A file
// without any write permission bit, or one the process may not write, is
// refused even for a superuser. Any failure raises EIniFileError
// "Impossible d'écrire dans <path>" and leaves the file as it was.
//
// A file larger than MaxFileSize is neither read nor written: no more than
// that is ever loaded, so a huge or endless file costs neither memory nor time.
class TIniFile {
public:
    // The largest file read or written, in bytes (a curve file takes a few hundred).
    static constexpr std::size_t MaxFileSize = std::size_t{1} << 20;

    // The file at `path`; nothing is opened or checked yet.
    explicit TIniFile(std::string path);

    // The path given at construction.
    const std::string& FileName() const { return path_; }

    // The whole file, read once; empty when it does not exist. A file that
    // exists but cannot be read raises EIniFileError "Impossible de lire
    // <path>"; one larger than MaxFileSize, "Impossible de lire <path> : le
    // fichier dépasse 1 Mo".
    TIniDocument ReadDocument() const;

    // The value of `key` in `section`, or `defaultValue` when the file, the
    // section or the key is missing; errors as for ReadDocument.
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;

    // The value read as ParseIniInteger does; `defaultValue` when it is missing
    // or is not such an integer.
    std::int32_t ReadInteger(const std::string& section, const std::string& key,
                             std::int32_t defaultValue) const;

    // Applies `edit` to the file's text and writes the result, all under one
    // lock, in one replacement or one in-place write. An edit that returns
    // false refuses the change like any failed write, and nothing is written.
    void Update(const std::function<bool(TIniDocument& document)>& edit);

    // Stores `value` under `key` in `section` at once; names and values that
    // would not read back as given are refused like any failed write.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);

    // Stores `value` in decimal.
    void WriteInteger(const std::string& section, const std::string& key, std::int32_t value);

private:
    std::string path_;
};
