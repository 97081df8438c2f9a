// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Hand-made ELF files for the version-record reader: a file header, the
// sections' bytes, the section-name table and, last, the section header
// table. Section 0 is the null section; the names' table is the last one.

// One section to write.
struct ElfSection {
    std::string Name;
    std::string Bytes;
    std::uint32_t Type = 1; // SHT_PROGBITS
};

// Where the fields of a file header and of a section header sit, per class.
struct ElfFields {
    bool Is64;
    std::size_t SectionTableOffsetAt() const { return Is64 ? 0x28 : 0x20; }
    std::size_t AddressWidth() const { return Is64 ? 8 : 4; }
    std::size_t EntrySizeAt() const { return Is64 ? 0x3A : 0x2E; }
    std::size_t CountAt() const { return Is64 ? 0x3C : 0x30; }
    std::size_t NamesIndexAt() const { return Is64 ? 0x3E : 0x32; }
    std::size_t EntrySize() const { return Is64 ? 64 : 40; }
    std::size_t NameAt() const { return 0; }
    std::size_t TypeAt() const { return 4; }
    std::size_t OffsetAt() const { return Is64 ? 24 : 16; }
    std::size_t SizeAt() const { return Is64 ? 32 : 20; }
    std::size_t LinkAt() const { return Is64 ? 40 : 24; }
};

// Writes `value` over `width` bytes at `at`, in the file's byte order.
inline void PutField(std::string& image, std::size_t at, std::uint64_t value, std::size_t width, bool bigEndian)
{
    for (std::size_t i = 0; i < width; ++i) {
        const std::size_t shift = 8 * (bigEndian ? width - 1 - i : i);
        image[at + i] = static_cast<char>((value >> shift) & 0xFF);
    }
}

// Reads a field written by PutField.
inline std::uint64_t GetField(const std::string& image, std::size_t at, std::size_t width, bool bigEndian)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        const std::size_t index = bigEndian ? at + i : at + width - 1 - i;
        value = (value << 8) | static_cast<unsigned char>(image[index]);
    }
    return value;
}

// The offset of section `index`'s header in `image`.
inline std::size_t SectionHeaderAt(const std::string& image, const ElfFields& f, bool bigEndian, std::size_t index)
{
    return static_cast<std::size_t>(GetField(image, f.SectionTableOffsetAt(), f.AddressWidth(), bigEndian)) +
        index * f.EntrySize();
}

// A complete file holding `sections` (after the null section).
inline std::string MakeElfImage(bool is64, bool bigEndian, const std::vector<ElfSection>& sections)
{
    const ElfFields f{is64};
    std::vector<ElfSection> all{{"", "", 0}};
    all.insert(all.end(), sections.begin(), sections.end());
    std::string names(1, '\0');
    std::vector<std::size_t> nameOffsets;
    for (const ElfSection& s : all) {
        nameOffsets.push_back(s.Name.empty() ? 0 : names.size());
        if (!s.Name.empty())
            names += s.Name + '\0';
    }
    nameOffsets.push_back(names.size());
    names += std::string(".shstrtab") + '\0';
    all.push_back({".shstrtab", names, 3});

    std::string image(is64 ? 64 : 52, '\0');
    image[0] = 0x7F;
    image[1] = 'E';
    image[2] = 'L';
    image[3] = 'F';
    image[4] = is64 ? 2 : 1;
    image[5] = bigEndian ? 2 : 1;
    image[6] = 1;
    std::vector<std::size_t> offsets;
    for (const ElfSection& s : all) {
        offsets.push_back(s.Bytes.empty() ? 0 : image.size());
        image += s.Bytes;
    }
    image.resize((image.size() + 7) / 8 * 8, '\0');
    const std::size_t table = image.size();
    image.resize(table + all.size() * f.EntrySize(), '\0');
    PutField(image, f.SectionTableOffsetAt(), table, f.AddressWidth(), bigEndian);
    PutField(image, f.EntrySizeAt(), f.EntrySize(), 2, bigEndian);
    PutField(image, f.CountAt(), all.size(), 2, bigEndian);
    PutField(image, f.NamesIndexAt(), all.size() - 1, 2, bigEndian);
    for (std::size_t i = 1; i < all.size(); ++i) {
        const std::size_t at = table + i * f.EntrySize();
        PutField(image, at + f.NameAt(), nameOffsets[i], 4, bigEndian);
        PutField(image, at + f.TypeAt(), all[i].Type, 4, bigEndian);
        PutField(image, at + f.OffsetAt(), offsets[i], f.AddressWidth(), bigEndian);
        PutField(image, at + f.SizeAt(), all[i].Bytes.size(), f.AddressWidth(), bigEndian);
    }
    return image;
}

// The bytes of a version record section holding `pairs`, in order.
inline std::string VersionRecordBytes(const std::vector<std::pair<std::string, std::string>>& pairs)
{
    std::string bytes = std::string("VelomorphVersionRecord1") + '\0';
    for (const auto& [key, value] : pairs)
        bytes += key + '\0' + value + '\0';
    return bytes + '\0';
}
