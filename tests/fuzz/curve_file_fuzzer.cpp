// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the curve file's reader and writer. Each input stands
// for the bytes of a curve file. What the program makes of it is compared
// with a model written another way, in one pass over the lines: the integer
// parser, the whole read path from a file on disk, the document once every
// curve key has been written into it, and a whole curve saved over the file
// on disk. A broken property aborts, so the fuzzer
// reports it like a crash.
#include "curve/curve_file.h"
#include "platform/ini_document.h"
#include "platform/ini_file.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

void Require(bool holds, const char* property)
{
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", property);
        std::abort();
    }
}

// The 19 keys, "Count" first, then point 1 In and Out, ..., point 9 Out.
const std::array<CurveKey, 19>& AllKeys()
{
    static const std::array<CurveKey, 19> keys = [] {
        std::array<CurveKey, 19> all{};
        all[0] = {0, PointAxis::In};
        for (int k = 1; k <= EndPoint; ++k) {
            all[2 * k - 1] = {k, PointAxis::In};
            all[2 * k] = {k, PointAxis::Out};
        }
        return all;
    }();
    return keys;
}

// The integer rule once more: the prefix by hand, the digits by std::from_chars.
std::optional<std::int32_t> ModelInteger(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return std::nullopt;
    text.remove_prefix(first);
    const bool negative = text.front() == '-';
    if (text.front() == '-' || text.front() == '+')
        text.remove_prefix(1);
    int base = 10;
    if (text.starts_with("$")) {
        base = 16;
        text.remove_prefix(1);
    } else if (text.starts_with("0x") || text.starts_with("0X")) {
        base = 16;
        text.remove_prefix(2);
    }
    std::uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    if (magnitude > (negative ? 2147483648u : 2147483647u))
        return std::nullopt;
    return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(magnitude)
                                              : static_cast<std::int64_t>(magnitude));
}

std::string Lower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

std::string_view Trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The entries of the first section named `section` (any letter case): the
// first value of each name, by lower-case name.
std::map<std::string, std::string> ModelSection(std::string_view bytes, std::string_view section)
{
    std::map<std::string, std::string> entries;
    bool inside = false;
    bool first = true;
    while (!bytes.empty()) {
        std::size_t end = bytes.find_first_of("\r\n");
        std::string_view line = bytes.substr(0, end);
        if (end == std::string_view::npos)
            bytes = {};
        else
            bytes.remove_prefix(end + (bytes.substr(end, 2) == "\r\n" ? 2 : 1));
        if (first && line.starts_with("\xEF\xBB\xBF"))
            line.remove_prefix(3);
        first = false;
        const std::string_view text = line.substr(std::min(line.size(), line.find_first_not_of(" \t")));
        if (text.empty() || text.front() == ';' || text.front() == '#')
            continue;
        if (text.front() == '[') {
            if (inside)
                break;
            const std::string_view name = text.substr(1, text.find(']') == std::string_view::npos
                                                             ? std::string_view::npos
                                                             : text.find(']') - 1);
            inside = Lower(Trimmed(name)) == Lower(section);
            continue;
        }
        const std::size_t equals = text.find('=');
        if (inside && equals != std::string_view::npos)
            entries.emplace(Lower(Trimmed(text.substr(0, equals))), Trimmed(text.substr(equals + 1)));
    }
    return entries;
}

std::optional<std::string> ValueOf(const std::map<std::string, std::string>& entries, CurveKey key)
{
    const auto it = entries.find(Lower(CurveKeyName(key)));
    if (it == entries.end())
        return std::nullopt;
    return it->second;
}

// A file for the read path, in a folder of its own that goes at exit: in
// TMPDIR when set, else in memory (/dev/shm) where there is one, else in /tmp.
class ScratchFile {
public:
    ScratchFile()
    {
        const char* tmp = std::getenv("TMPDIR");
        const char* base = tmp && *tmp ? tmp : ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/velomorph-fuzz-XXXXXX";
        Require(::mkdtemp(pattern.data()) != nullptr, "a scratch folder can be made");
        folder_ = pattern;
        path_ = folder_ + "/curve.dat";
    }
    ~ScratchFile()
    {
        ::unlink(path_.c_str());
        ::rmdir(folder_.c_str());
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::string& Path() const { return path_; }

    void Write(const std::string& bytes) const
    {
        const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        Require(fd >= 0, "the scratch file opens");
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
            Require(count > 0, "the scratch file takes the input");
            done += static_cast<std::size_t>(count);
        }
        ::close(fd);
    }

    std::string Read() const
    {
        std::string bytes;
        const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        Require(fd >= 0, "the scratch file opens for reading");
        char buffer[4096];
        ssize_t count = 0;
        while ((count = ::read(fd, buffer, sizeof buffer)) > 0)
            bytes.append(buffer, static_cast<std::size_t>(count));
        ::close(fd);
        return bytes;
    }

private:
    std::string folder_;
    std::string path_;
};

// The one scratch file of the run.
const ScratchFile& Scratch()
{
    static const ScratchFile scratch;
    return scratch;
}

void CheckParser(std::string_view text)
{
    const std::optional<std::int32_t> parsed = ParseIniInteger(text);
    Require(parsed == ModelInteger(text), "ParseIniInteger agrees with the model");
    if (parsed)
        Require(ParseIniInteger(std::to_string(*parsed)) == parsed, "a parsed integer reads back from decimal");
}

// The loader hands over, in file order, what the model finds (0 for what is
// missing or no integer); only a file above the size limit is refused.
void CheckReadPath(const std::string& bytes, const std::map<std::string, std::string>& points)
{
    Scratch().Write(bytes);
    std::vector<std::pair<CurveKey, int>> assigned;
    try {
        ReadCurveFile(Scratch().Path(), [&](CurveKey key, int value) { assigned.emplace_back(key, value); });
    } catch (const EIniFileError&) {
        Require(bytes.size() > TIniFile::MaxFileSize, "only a file above the size limit is refused");
        return;
    }
    Require(bytes.size() <= TIniFile::MaxFileSize, "a file above the size limit is refused");
    Require(assigned.size() == 18, "the loader hands over 18 values");
    std::size_t next = 0;
    for (const CurveKey key : AllKeys()) {
        if (key == CurveKey{EndPoint, PointAxis::In})
            continue; // never read
        const std::optional<std::string> text = ValueOf(points, key);
        if (text)
            CheckParser(*text);
        Require(assigned[next].first == key, "the values come in file order");
        Require(assigned[next].second == (text ? ModelInteger(*text).value_or(0) : 0), "the file reads as the model");
        ++next;
    }
}

// Writing every curve key: each then reads as written, every other key of
// the section and every other section as before.
void CheckWriting(const std::string& bytes, const std::map<std::string, std::string>& points)
{
    TIniDocument document(bytes);
    const auto valueFor = [&](std::size_t i) { return std::to_string((bytes.size() * 31 + i * 7) % 128); };
    for (std::size_t i = 0; i < AllKeys().size(); ++i)
        Require(document.Set(CurveSection, CurveKeyName(AllKeys()[i]), valueFor(i)), "a curve key can be written");

    std::map<std::string, std::string> expected = points;
    for (std::size_t i = 0; i < AllKeys().size(); ++i)
        expected[Lower(CurveKeyName(AllKeys()[i]))] = valueFor(i);
    Require(ModelSection(document.Bytes(), CurveSection) == expected, "writing changes the curve keys only");
    Require(ModelSection(document.Bytes(), "Extra") == ModelSection(bytes, "Extra"), "writing keeps other sections");
}

// Saving a curve over the file, through the disk: the file then holds what
// writing the 19 keys into its text gives, every other byte kept, and loads
// as that curve; only a file above the size limit is refused, unchanged.
void CheckSaving(const std::string& bytes)
{
    CurvePoints curve{static_cast<int>(bytes.size() % 9), {}, {}};
    for (std::size_t k = 0; k < curve.In.size(); ++k) {
        curve.In[k] = static_cast<int>((bytes.size() * 31 + k * 7) % 128);
        curve.Out[k] = static_cast<int>((bytes.size() * 17 + k * 5) % 128);
    }
    curve.In[8] = 127;
    TIniDocument expected(bytes);
    const auto valueOf = [&](CurveKey key) {
        if (key.Point == 0)
            return curve.Count;
        const auto point = static_cast<std::size_t>(key.Point - 1);
        return key.Axis == PointAxis::In ? curve.In[point] : curve.Out[point];
    };
    for (const CurveKey key : AllKeys())
        Require(expected.Set(CurveSection, CurveKeyName(key), std::to_string(valueOf(key))), "a curve key can be set");

    Scratch().Write(bytes);
    try {
        WriteCurveFile(Scratch().Path(), curve);
    } catch (const EIniFileError&) {
        Require(bytes.size() > TIniFile::MaxFileSize, "only a file above the size limit is refused");
        Require(Scratch().Read() == bytes, "a refused save leaves the file as it was");
        return;
    }
    Require(expected.Bytes().size() <= TIniFile::MaxFileSize, "a file above the size limit is not written");
    Require(Scratch().Read() == expected.Bytes(), "a save writes the keys into the file's text");
    ReadCurveFile(Scratch().Path(), [&](CurveKey key, int value) {
        Require(value == valueOf(key), "a saved curve loads as saved");
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CheckParser(bytes);
    const std::map<std::string, std::string> points = ModelSection(bytes, CurveSection);
    CheckReadPath(bytes, points);
    CheckWriting(bytes, points);
    CheckSaving(bytes);
    return 0;
}
