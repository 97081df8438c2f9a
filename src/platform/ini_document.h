// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The bytes of an INI file, read and changed in place: a change rewrites or
// adds one line and keeps every other byte. Pure, so any bytes may be fed in.
//
// Reading rules: lines end at CR LF, LF or CR (the last may have none); blanks
// are spaces and tabs; a UTF-8 byte-order mark opening the text is skipped. A
// line whose first non-blank is ';' or '#' is a comment. A line whose first
// non-blank is '[' heads a section named by the text up to the first ']' (or
// the line's end), trimmed. Any other line holding '=' is an entry: name
// before the first '=', value after it, both trimmed. Other lines, and entries
// before the first section, belong to no section and are kept as they are.
// Names match regardless of ASCII case. Only the first section of a name
// counts, and in it the first entry of a name: that is what Find reads and
// what Set replaces. Every byte, NUL included, is an ordinary character.
class TIniDocument {
public:
    // A document holding `bytes` as they stand.
    explicit TIniDocument(std::string bytes = {});

    // The value of `key` in `section`, or nothing when the key is absent.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;

    // Stores `value` under `key` in `section`: replaces the value where the key
    // stands, else adds "key=value" after the section's last entry (right after
    // its heading when it has none), else adds the section at the end. New lines
    // end with CR LF. Returns false, changing nothing, when the names or value
    // would not read back as given (see CanStore).
    bool Set(std::string_view section, std::string_view key, std::string_view value);

    // Whether Set would store these: a section name and a key name that are not
    // empty, hold no CR or LF, neither begin nor end with a blank, a section
    // name without ']', a key without '=' and not beginning with ';', '#' or
    // '['; a value without CR or LF that neither begins nor ends with a blank.
    static bool CanStore(std::string_view section, std::string_view key, std::string_view value);

    // The document's bytes.
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
};

// The integer that `text` holds: optional leading blanks, an optional sign,
// then decimal digits or hexadecimal digits after "$", "0x" or "0X", nothing
// after the digits, within the 32-bit signed range; nothing otherwise.
std::optional<std::int32_t> ParseIniInteger(std::string_view text);
