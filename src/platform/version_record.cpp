// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/version_record.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <vector>

namespace {

// Bounds that no genuine file reaches; a header asking for more is damaged.
constexpr std::uint64_t MaxSections = 1u << 16;
constexpr std::uint64_t MaxNameTableSize = 1u << 20;
constexpr std::uint64_t MaxRecordSize = 1u << 16;

constexpr std::uint32_t SectionNoBits = 8;       // SHT_NOBITS: no bytes in the file
constexpr std::uint32_t SectionIndexEscape = 0xFFFF; // SHN_XINDEX: index kept in section 0

// Field offsets of the file header and of a section header, per class.
struct ElfLayout {
    std::size_t HeaderSize;
    std::size_t SectionTableOffset, SectionTableOffsetWidth;
    std::size_t SectionEntrySizeAt, SectionCountAt, NameSectionIndexAt;
    std::size_t EntrySize;
    std::size_t NameAt, TypeAt, OffsetAt, SizeAt, LinkAt, AddressWidth;
};

constexpr ElfLayout Elf32{52, 0x20, 4, 0x2E, 0x30, 0x32, 40, 0, 4, 16, 20, 24, 4};
constexpr ElfLayout Elf64{64, 0x28, 8, 0x3A, 0x3C, 0x3E, 64, 0, 4, 24, 32, 40, 8};

struct Section {
    std::uint32_t Name;
    std::uint32_t Type;
    std::uint64_t Offset;
    std::uint64_t Size;
    std::uint32_t Link;
};

class ElfFile {
public:
    explicit ElfFile(const std::filesystem::path& path)
        : in(path, std::ios::binary)
    {
        if (!in)
            return;
        in.seekg(0, std::ios::end);
        const std::streamoff end = in.tellg();
        if (end > 0)
            fileSize = static_cast<std::uint64_t>(end);
    }

    // The bytes at [offset, offset + size), all of them inside the file.
    std::optional<std::vector<unsigned char>> Read(std::uint64_t offset, std::uint64_t size)
    {
        if (offset > fileSize || size > fileSize - offset)
            return std::nullopt;
        std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
        in.clear();
        in.seekg(static_cast<std::streamoff>(offset));
        if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
            return std::nullopt;
        return bytes;
    }

private:
    std::ifstream in;
    std::uint64_t fileSize = 0;
};

class FieldReader {
public:
    FieldReader(const std::vector<unsigned char>& bytes, bool bigEndian)
        : bytes(bytes)
        , bigEndian(bigEndian)
    {
    }

    std::uint64_t Get(std::size_t at, std::size_t width) const
    {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            const std::size_t index = bigEndian ? at + i : at + width - 1 - i;
            value = (value << 8) | bytes[index];
        }
        return value;
    }

private:
    const std::vector<unsigned char>& bytes;
    bool bigEndian;
};

std::optional<Section> ReadSection(ElfFile& file, const ElfLayout& layout, bool bigEndian, std::uint64_t tableOffset,
                                   std::uint64_t entrySize, std::uint64_t index)
{
    // index and entrySize are 16-bit bounded, so only the sum can overflow.
    const std::uint64_t at = index * entrySize;
    if (tableOffset > UINT64_MAX - at)
        return std::nullopt;
    const auto entry = file.Read(tableOffset + at, layout.EntrySize);
    if (!entry)
        return std::nullopt;
    const FieldReader field(*entry, bigEndian);
    return Section{static_cast<std::uint32_t>(field.Get(layout.NameAt, 4)),
                   static_cast<std::uint32_t>(field.Get(layout.TypeAt, 4)),
                   field.Get(layout.OffsetAt, layout.AddressWidth), field.Get(layout.SizeAt, layout.AddressWidth),
                   static_cast<std::uint32_t>(field.Get(layout.LinkAt, 4))};
}

std::optional<std::vector<unsigned char>> FindSection(const std::filesystem::path& path, std::string_view wanted)
{
    ElfFile file(path);
    const auto ident = file.Read(0, 16);
    if (!ident || (*ident)[0] != 0x7F || (*ident)[1] != 'E' || (*ident)[2] != 'L' || (*ident)[3] != 'F')
        return std::nullopt;
    const unsigned char elfClass = (*ident)[4];
    const unsigned char byteOrder = (*ident)[5];
    if ((elfClass != 1 && elfClass != 2) || (byteOrder != 1 && byteOrder != 2))
        return std::nullopt;
    const ElfLayout& layout = elfClass == 1 ? Elf32 : Elf64;
    const bool bigEndian = byteOrder == 2;

    const auto header = file.Read(0, layout.HeaderSize);
    if (!header)
        return std::nullopt;
    const FieldReader field(*header, bigEndian);
    const std::uint64_t tableOffset = field.Get(layout.SectionTableOffset, layout.SectionTableOffsetWidth);
    const std::uint64_t entrySize = field.Get(layout.SectionEntrySizeAt, 2);
    std::uint64_t count = field.Get(layout.SectionCountAt, 2);
    std::uint64_t namesIndex = field.Get(layout.NameSectionIndexAt, 2);
    if (tableOffset == 0 || entrySize < layout.EntrySize)
        return std::nullopt;

    // Counts too large for the header live in the first section header.
    if (count == 0 || namesIndex == SectionIndexEscape) {
        const auto first = ReadSection(file, layout, bigEndian, tableOffset, entrySize, 0);
        if (!first)
            return std::nullopt;
        if (count == 0)
            count = first->Size;
        if (namesIndex == SectionIndexEscape)
            namesIndex = first->Link;
    }
    if (count > MaxSections || namesIndex >= count)
        return std::nullopt;

    const auto names = ReadSection(file, layout, bigEndian, tableOffset, entrySize, namesIndex);
    if (!names || names->Type == SectionNoBits || names->Size > MaxNameTableSize)
        return std::nullopt;
    const auto nameTable = file.Read(names->Offset, names->Size);
    if (!nameTable)
        return std::nullopt;

    for (std::uint64_t i = 0; i < count; ++i) {
        const auto section = ReadSection(file, layout, bigEndian, tableOffset, entrySize, i);
        if (!section)
            return std::nullopt;
        if (section->Name >= nameTable->size())
            continue;
        const char* name = reinterpret_cast<const char*>(nameTable->data()) + section->Name;
        const std::size_t room = nameTable->size() - section->Name;
        // The name must end with its NUL inside the table.
        if (wanted.size() >= room || wanted != std::string_view(name, wanted.size()) || name[wanted.size()] != '\0')
            continue;
        if (section->Type == SectionNoBits || section->Size > MaxRecordSize)
            return std::nullopt;
        return file.Read(section->Offset, section->Size);
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> TVersionRecord::Value(const std::string& key) const
{
    const auto it = FValues.find(key);
    if (it == FValues.end())
        return std::nullopt;
    return it->second;
}

std::optional<std::string> TVersionRecord::QueryString(const std::string& name) const
{
    const auto translations = Value(std::string(VersionTranslationKey));
    if (!translations)
        return std::nullopt;
    const std::size_t begin = translations->find_first_not_of(' ');
    if (begin == std::string::npos)
        return std::nullopt;
    const std::string block = translations->substr(begin, translations->find(' ', begin) - begin);
    return Value("\\StringFileInfo\\" + block + "\\" + name);
}

std::optional<TVersionRecord> TVersionRecord::Parse(std::string_view bytes)
{
    if (bytes.size() <= VersionRecordMagic.size() || bytes.substr(0, VersionRecordMagic.size()) != VersionRecordMagic ||
        bytes[VersionRecordMagic.size()] != '\0')
        return std::nullopt;

    TVersionRecord record;
    std::size_t pos = VersionRecordMagic.size() + 1;
    // One NUL-terminated string at pos, or nothing when the bytes end first.
    const auto next = [&]() -> std::optional<std::string_view> {
        const std::size_t end = bytes.find('\0', pos);
        if (end == std::string_view::npos)
            return std::nullopt;
        const std::string_view text = bytes.substr(pos, end - pos);
        pos = end + 1;
        return text;
    };
    while (true) {
        const auto key = next();
        if (!key || key->empty())
            break;
        const auto value = next();
        if (!value)
            break;
        record.FValues.insert_or_assign(std::string(*key), std::string(*value));
    }
    return record;
}

std::optional<TVersionRecord> ReadVersionRecord(const std::filesystem::path& executable)
{
    const auto bytes = FindSection(executable, VersionRecordSection);
    if (!bytes)
        return std::nullopt;
    return TVersionRecord::Parse(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}
