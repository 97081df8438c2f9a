// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/version_record.h"

#include "elf_image.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

const std::string French = "\\StringFileInfo\\040C04B0\\";

std::string FullRecord()
{
    return VersionRecordBytes({{"\\VarFileInfo\\Translation", "040C04B0"},
                               {French + "FileVersion", "2.3.4.5"},
                               {French + "LegalCopyright", "© nous"},
                               {French + "Comments", "Freeware"}});
}

class VersionRecordTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temporary.isValid());
        dir = fs::path(temporary.path().toStdString());
    }

    fs::path Write(const std::string& name, const std::string& bytes)
    {
        const fs::path path = dir / name;
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        return path;
    }

    QTemporaryDir temporary;
    fs::path dir;
};

TEST_F(VersionRecordTest, TheProgramCarriesItsRecord)
{
    const auto record = ReadVersionRecord(VELOMORPH_PROGRAM_EXE);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->QueryString("FileVersion"), "1.0.0.0");
    EXPECT_EQ(record->QueryString("Comments"), "Freeware");
    ASSERT_TRUE(record->QueryString("LegalCopyright"));
    EXPECT_NE(record->QueryString("LegalCopyright")->find("Velomorph"), std::string::npos);
}

TEST_F(VersionRecordTest, AnExecutableBuiltWithoutItHasNone)
{
    EXPECT_FALSE(ReadVersionRecord(VELOMORPH_NO_RECORD_EXE));
}

TEST_F(VersionRecordTest, ReadsEveryClassAndByteOrder)
{
    for (const bool is64 : {false, true}) {
        for (const bool bigEndian : {false, true}) {
            SCOPED_TRACE(std::string(is64 ? "64" : "32") + (bigEndian ? " big" : " little"));
            const std::string image = MakeElfImage(
                is64, bigEndian, {{".text", "code"}, {".velomorph_version", FullRecord()}, {".data", "x"}});
            const auto record = ReadVersionRecord(Write("exe", image));
            ASSERT_TRUE(record);
            EXPECT_EQ(record->QueryString("FileVersion"), "2.3.4.5");
            EXPECT_EQ(record->QueryString("LegalCopyright"), "© nous");
        }
    }
}

TEST_F(VersionRecordTest, FindsTheNamesThroughExtendedNumbering)
{
    // Counts that do not fit the file header live in section 0.
    const ElfFields f{true};
    std::string image = MakeElfImage(true, false, {{".velomorph_version", FullRecord()}});
    const std::size_t count = GetField(image, f.CountAt(), 2, false);
    const std::size_t names = GetField(image, f.NamesIndexAt(), 2, false);
    const std::size_t first = SectionHeaderAt(image, f, false, 0);
    PutField(image, first + f.SizeAt(), count, 8, false);
    PutField(image, first + f.LinkAt(), names, 4, false);
    PutField(image, f.CountAt(), 0, 2, false);
    PutField(image, f.NamesIndexAt(), 0xFFFF, 2, false);
    const auto record = ReadVersionRecord(Write("exe", image));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->QueryString("Comments"), "Freeware");
}

TEST_F(VersionRecordTest, DamagedOrForeignFilesHaveNoRecord)
{
    const ElfFields f{true};
    const std::string good = MakeElfImage(true, false, {{".velomorph_version", FullRecord()}});
    const std::size_t recordHeader = SectionHeaderAt(good, f, false, 1);
    const std::size_t namesHeader = SectionHeaderAt(good, f, false, 2);
    ASSERT_TRUE(ReadVersionRecord(Write("good", good)));

    const auto patched = [&good](std::size_t at, std::uint64_t value, std::size_t width) {
        std::string image = good;
        PutField(image, at, value, width, false);
        return image;
    };
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"text", "just some text, long enough to be mistaken for a header if nothing checked it......."},
        {"ten bytes of header", good.substr(0, 10)},
        {"cut before the section table", good.substr(0, good.size() - 20)},
        {"unknown class", patched(4, 3, 1)},
        {"unknown byte order", patched(5, 0, 1)},
        {"no section table", patched(f.SectionTableOffsetAt(), 0, 8)},
        {"section table past the end", patched(f.SectionTableOffsetAt(), good.size() + 1000, 8)},
        {"section table at the end of the address space", patched(f.SectionTableOffsetAt(), ~0ull - 10, 8)},
        {"entries too small", patched(f.EntrySizeAt(), 16, 2)},
        {"names index past the count", patched(f.NamesIndexAt(), 3, 2)},
        {"names table past the end", patched(namesHeader + f.OffsetAt(), good.size() + 1, 8)},
        {"names table without bytes in the file", patched(namesHeader + f.TypeAt(), 8, 4)},
        {"huge names table", patched(namesHeader + f.SizeAt(), ~0ull, 8)},
        {"record past the end", patched(recordHeader + f.OffsetAt(), good.size() - 4, 8)},
        {"record size beyond any record", patched(recordHeader + f.SizeAt(), 1u << 20, 8)},
        {"record without bytes in the file", patched(recordHeader + f.TypeAt(), 8, 4)},
        {"record name outside the names table", patched(recordHeader + f.NameAt(), 100000, 4)},
        {"record name cut by the end of the table",
         patched(namesHeader + f.SizeAt(), GetField(good, recordHeader + f.NameAt(), 4, false) + 5, 8)},
        {"record content without the magic", [&] {
             std::string image = good;
             image[GetField(good, recordHeader + f.OffsetAt(), 8, false)] = 'X';
             return image;
         }()},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(ReadVersionRecord(Write("damaged", c.bytes))) << c.name;

    EXPECT_FALSE(ReadVersionRecord(dir / "missing"));
    EXPECT_FALSE(ReadVersionRecord(dir));
}

TEST_F(VersionRecordTest, StringsComeFromTheFirstTranslation)
{
    const std::string English = "\\StringFileInfo\\040904B0\\";
    const auto record = TVersionRecord::Parse(VersionRecordBytes({{"\\VarFileInfo\\Translation", "040904B0 040C04B0"},
                                                                  {French + "FileVersion", "fr"},
                                                                  {English + "FileVersion", "en"},
                                                                  {French + "Comments", "seulement en français"}}));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->QueryString("FileVersion"), "en");
    // A string that the first block lacks is missing, whatever the others hold.
    EXPECT_FALSE(record->QueryString("Comments"));
    EXPECT_EQ(record->Value(French + "Comments"), "seulement en français");
}

TEST_F(VersionRecordTest, RecordsWithoutTranslationOrCutShortKeepWhatTheyCan)
{
    const auto untranslated = TVersionRecord::Parse(VersionRecordBytes({{French + "FileVersion", "1.0.0.0"}}));
    ASSERT_TRUE(untranslated);
    EXPECT_FALSE(untranslated->QueryString("FileVersion"));

    const auto emptyList = TVersionRecord::Parse(VersionRecordBytes({{"\\VarFileInfo\\Translation", "  "}}));
    ASSERT_TRUE(emptyList);
    EXPECT_FALSE(emptyList->QueryString("FileVersion"));

    // The last pair loses its value to the end of the bytes.
    std::string cut = FullRecord();
    cut.resize(cut.size() - std::string("Freeware").size() - 2);
    const auto partial = TVersionRecord::Parse(cut);
    ASSERT_TRUE(partial);
    EXPECT_EQ(partial->QueryString("LegalCopyright"), "© nous");
    EXPECT_FALSE(partial->QueryString("Comments"));

    EXPECT_FALSE(TVersionRecord::Parse("VelomorphVersionRecord1"));
    EXPECT_FALSE(TVersionRecord::Parse("VelomorphVersionRecord2" + std::string(1, '\0')));
}

} // namespace
