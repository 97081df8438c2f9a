// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ini_document.h"

#include <utility>

namespace {

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view NewLine = "\r\n";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    }
    return true;
}

// One line of the text: [begin, end) its characters, [end, next) its line end.
struct LineSpan {
    std::size_t begin;
    std::size_t end;
    std::size_t next;
};

LineSpan LineAt(std::string_view bytes, std::size_t begin)
{
    std::size_t end = bytes.find_first_of(NewLine, begin);
    if (end == std::string_view::npos)
        end = bytes.size();
    std::size_t next = end;
    if (next < bytes.size())
        next += bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n' ? 2 : 1;
    return {begin, end, next};
}

enum class LineKind { Other, Section, Entry };

// What a line is; for an entry, where its value lies within the whole text.
struct LineInfo {
    LineKind kind = LineKind::Other;
    std::string_view name;
    std::size_t valueBegin = 0;
    std::size_t valueEnd = 0;
};

LineInfo Classify(std::string_view bytes, LineSpan line)
{
    std::size_t pos = line.begin;
    if (pos == 0 && bytes.substr(0, line.end).starts_with(ByteOrderMark))
        pos = ByteOrderMark.size();
    while (pos < line.end && IsBlank(bytes[pos]))
        ++pos;
    const std::string_view text = bytes.substr(pos, line.end - pos);
    LineInfo info;
    if (text.empty() || text.front() == ';' || text.front() == '#')
        return info;
    if (text.front() == '[') {
        info.kind = LineKind::Section;
        info.name = Trim(text.substr(1, text.find(']') - 1));
        return info;
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos)
        return info;
    info.kind = LineKind::Entry;
    info.name = Trim(text.substr(0, equals));
    std::size_t valueBegin = pos + equals + 1;
    std::size_t valueEnd = line.end;
    while (valueBegin < valueEnd && IsBlank(bytes[valueBegin]))
        ++valueBegin;
    while (valueEnd > valueBegin && IsBlank(bytes[valueEnd - 1]))
        --valueEnd;
    info.valueBegin = valueBegin;
    info.valueEnd = valueEnd;
    return info;
}

// Where a key stands, or would go, within the first section of a name.
struct Location {
    bool sectionFound = false;
    bool keyFound = false;
    LineSpan insertAfter{};  // the section's last entry, else its heading
    LineInfo entry;          // the key's entry when keyFound
};

Location Locate(std::string_view bytes, std::string_view section, std::string_view key)
{
    Location where;
    for (std::size_t pos = 0; pos < bytes.size();) {
        const LineSpan line = LineAt(bytes, pos);
        pos = line.next;
        const LineInfo info = Classify(bytes, line);
        if (info.kind == LineKind::Section) {
            if (where.sectionFound)
                break;  // the end of the first section of that name
            if (SameName(info.name, section)) {
                where.sectionFound = true;
                where.insertAfter = line;
            }
        } else if (where.sectionFound && info.kind == LineKind::Entry) {
            if (SameName(info.name, key)) {
                where.keyFound = true;
                where.entry = info;
                break;
            }
            where.insertAfter = line;
        }
    }
    return where;
}

bool HasNoLineBreak(std::string_view text)
{
    return text.find_first_of(NewLine) == std::string_view::npos;
}

bool IsTrimmed(std::string_view text)
{
    return Trim(text).size() == text.size();
}

}  // namespace

TIniDocument::TIniDocument(std::string bytes) : bytes_(std::move(bytes)) {}

std::optional<std::string> TIniDocument::Find(std::string_view section, std::string_view key) const
{
    const Location where = Locate(bytes_, section, key);
    if (!where.keyFound)
        return std::nullopt;
    return bytes_.substr(where.entry.valueBegin, where.entry.valueEnd - where.entry.valueBegin);
}

bool TIniDocument::Set(std::string_view section, std::string_view key, std::string_view value)
{
    if (!CanStore(section, key, value))
        return false;
    const Location where = Locate(bytes_, section, key);
    if (where.keyFound) {
        bytes_.replace(where.entry.valueBegin, where.entry.valueEnd - where.entry.valueBegin, value);
        return true;
    }
    std::string lines;
    if (where.sectionFound) {
        const LineSpan after = where.insertAfter;
        if (after.next == after.end)
            lines += NewLine;  // the file's last line had no line end yet
        lines.append(key).append("=").append(value).append(NewLine);
        bytes_.insert(after.next, lines);
        return true;
    }
    if (!bytes_.empty() && bytes_.back() != '\r' && bytes_.back() != '\n')
        lines += NewLine;
    lines.append("[").append(section).append("]").append(NewLine);
    lines.append(key).append("=").append(value).append(NewLine);
    bytes_ += lines;
    return true;
}

bool TIniDocument::CanStore(std::string_view section, std::string_view key, std::string_view value)
{
    const bool sectionOk = !section.empty() && HasNoLineBreak(section) && IsTrimmed(section)
        && section.find(']') == std::string_view::npos;
    const bool keyOk = !key.empty() && HasNoLineBreak(key) && IsTrimmed(key)
        && key.find('=') == std::string_view::npos && key.front() != ';' && key.front() != '#'
        && key.front() != '[';
    const bool valueOk = HasNoLineBreak(value) && IsTrimmed(value);
    return sectionOk && keyOk && valueOk;
}

std::optional<std::int32_t> ParseIniInteger(std::string_view text)
{
    constexpr std::int64_t Limit = std::int64_t{1} << 31;  // magnitude of the lowest value
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size())
        return std::nullopt;
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char c = AsciiLower(text[i]);
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        if (digit < 0)
            return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > Limit)
            return std::nullopt;  // stops early, so long digit strings cannot overflow
    }
    if (!negative && magnitude == Limit)
        return std::nullopt;
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}
