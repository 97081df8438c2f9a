// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// The executable's version record: a few named strings ("FileVersion",
// "LegalCopyright", "Comments") that the build embeds in the program file, in
// an ELF section of its own, and that the About box reads back from the file.
//
// The section holds the magic text VersionRecordMagic and its NUL, then
// key/value pairs of NUL-terminated UTF-8 strings, ended by an empty key.
// Keys are paths in the manner of a version resource: the translation list
// "\VarFileInfo\Translation" names language and code-page blocks ("040C04B0",
// several separated by spaces), and each string lives under
// "\StringFileInfo\<block>\<name>".

// Name of the ELF section that carries the record.
inline constexpr std::string_view VersionRecordSection = ".velomorph_version";
// First bytes of the section (without the NUL that follows them).
inline constexpr std::string_view VersionRecordMagic = "VelomorphVersionRecord1";
// Key of the translation list.
inline constexpr std::string_view VersionTranslationKey = "\\VarFileInfo\\Translation";

// The parsed content of one record.
class TVersionRecord {
public:
    // The raw value under a full key, if the record has that key.
    std::optional<std::string> Value(const std::string& key) const;

    // A string ("FileVersion", ...) from the string table of the first block
    // that the translation list names; nothing when the list is missing or
    // empty, or when that block has no such string.
    std::optional<std::string> QueryString(const std::string& name) const;

    // Parses a section's bytes; nothing when they do not begin with the
    // magic. Pairs cut short by the end of the bytes are ignored.
    static std::optional<TVersionRecord> Parse(std::string_view bytes);

private:
    std::map<std::string, std::string, std::less<>> FValues;
};

// Reads the record embedded in an ELF executable (32 or 64 bits, either byte
// order). Nothing when the file cannot be read, is not ELF, is damaged, or has
// no such section: a damaged file is never trusted beyond its own size.
std::optional<TVersionRecord> ReadVersionRecord(const std::filesystem::path& executable);
