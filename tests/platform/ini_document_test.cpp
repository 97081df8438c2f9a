// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ini_document.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

struct FindCase {
    std::string name;
    std::string bytes;
    std::string section;
    std::string key;
    std::optional<std::string> expected;
};

// Names the case in test listings.
void PrintTo(const FindCase& c, std::ostream* out)
{
    *out << c.name;
}

class IniFind : public ::testing::TestWithParam<FindCase> {};

TEST_P(IniFind, ReadsTheValue)
{
    const FindCase& c = GetParam();
    const TIniDocument document(c.bytes);
    EXPECT_EQ(document.Find(c.section, c.key), c.expected);
    EXPECT_EQ(document.Bytes(), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Tolerance, IniFind,
    ::testing::Values(
        FindCase{"CrLf", "[P]\r\nA=1\r\nK=2\r\n", "P", "K", "2"},
        FindCase{"LfOnly", "[P]\nK=2\n", "P", "K", "2"},
        FindCase{"CrOnly", "[P]\rA=1\rK=2\r", "P", "K", "2"},
        FindCase{"MixedEnds", "[P]\r\r\nA=1\n\rK=2", "P", "K", "2"},
        FindCase{"NoFinalLineEnd", "[P]\r\nK=2", "P", "K", "2"},
        FindCase{"BlanksAroundNamesAndValues", "  [ P ]  \r\n \t K \t= \t2 x \t\r\n", "P", "K", "2 x"},
        FindCase{"CaseInsensitiveNames", "[pOiNtS]\r\ncOUNT=4\r\n", "Points", "Count", "4"},
        FindCase{"CommentsAndBlankLines", "[P]\r\n; K=1\r\n\r\n  # K=2\r\n\r\nK=3\r\n", "P", "K", "3"},
        FindCase{"FirstKeyWins", "[P]\r\nK=1\r\nK=2\r\n", "P", "K", "1"},
        FindCase{"FirstSectionWins", "[P]\r\nK=1\r\n[P]\r\nK=2\r\n", "P", "K", "1"},
        FindCase{"LaterSectionOfSameNameIgnored", "[P]\r\nA=1\r\n[P]\r\nK=2\r\n", "P", "K", std::nullopt},
        FindCase{"LineWithoutEqualsIgnored", "[P]\r\nK\r\nK 5\r\nK=6\r\n", "P", "K", "6"},
        FindCase{"EntryBeforeAnySection", "K=1\r\n[P]\r\n", "P", "K", std::nullopt},
        FindCase{"OtherSectionsKey", "[A]\r\nK=1\r\n[P]\r\nB=2\r\n[C]\r\nK=3\r\n", "P", "K", std::nullopt},
        FindCase{"MissingSection", "[A]\r\nK=1\r\n", "P", "K", std::nullopt},
        FindCase{"EmptyValue", "[P]\r\nK=\r\n", "P", "K", ""},
        FindCase{"ValueHoldsEqualsAndSemicolon", "[P]\r\nK=a=b ;c\r\n", "P", "K", "a=b ;c"},
        FindCase{"NulBytes", "[P]\r\nK\0=x\r\nK=a\0b\r\n"s, "P", "K", "a\0b"s},
        FindCase{"NulInName", "[P\0]\r\nK=1\r\n"s, "P\0"s, "K", "1"},
        FindCase{"HighBytes", "[P]\r\n\xFF\xFE=\xE9\r\nK=\x80\r\n", "P", "K", "\x80"},
        FindCase{"ByteOrderMark", "\xEF\xBB\xBF[P]\r\nK=1\r\n", "P", "K", "1"},
        FindCase{"TextAfterHeading", "[P] ; note\r\nK=1\r\n", "P", "K", "1"},
        FindCase{"HeadingWithoutBracket", "[A]\r\nK=1\r\n[P\r\nK=2\r\n", "P", "K", "2"},
        FindCase{"EmptyText", "", "P", "K", std::nullopt}),
    [](const auto& info) { return info.param.name; });

struct SetCase {
    std::string name;
    std::string before;
    std::string section;
    std::string key;
    std::string value;
    std::string after;
};

// Names the case in test listings.
void PrintTo(const SetCase& c, std::ostream* out)
{
    *out << c.name;
}

class IniSet : public ::testing::TestWithParam<SetCase> {};

TEST_P(IniSet, ChangesOneLineAndKeepsTheRest)
{
    const SetCase& c = GetParam();
    TIniDocument document(c.before);
    ASSERT_TRUE(document.Set(c.section, c.key, c.value));
    EXPECT_EQ(document.Bytes(), c.after);
    EXPECT_EQ(TIniDocument(document.Bytes()).Find(c.section, c.key), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    InPlace, IniSet,
    ::testing::Values(
        SetCase{"EmptyText", "", "P", "K", "7", "[P]\r\nK=7\r\n"},
        SetCase{"ReplacesOnlyTheValue", "[P]\nK = 5 \nL=2\n", "P", "K", "70", "[P]\nK = 70 \nL=2\n"},
        SetCase{"EmptyValue", "[P]\nK=\nL=2\n", "P", "K", "7", "[P]\nK=7\nL=2\n"},
        SetCase{"BlankValue", "[P]\nK =  \n", "P", "K", "7", "[P]\nK =  7\n"},
        SetCase{"ValueMadeEmpty", "[P]\nK=5\n", "P", "K", "", "[P]\nK=\n"},
        SetCase{"AddedAfterLastEntry", "[P]\nA=1\n; about Q\n\n[Q]\nB=2\n", "P", "K", "7",
                "[P]\nA=1\nK=7\r\n; about Q\n\n[Q]\nB=2\n"},
        SetCase{"SectionWithoutEntries", "[P]\n[Q]\n", "P", "K", "7", "[P]\nK=7\r\n[Q]\n"},
        SetCase{"LastLineWithoutEnd", "[P]\nA=1", "P", "K", "7", "[P]\nA=1\r\nK=7\r\n"},
        SetCase{"HeadingWithoutEnd", "[P]", "P", "K", "7", "[P]\r\nK=7\r\n"},
        SetCase{"CrOnly", "[P]\rA=1\r", "P", "K", "7", "[P]\rA=1\rK=7\r\n"},
        SetCase{"NewSectionAtEnd", "[Q]\nB=2\n", "P", "K", "7", "[Q]\nB=2\n[P]\r\nK=7\r\n"},
        SetCase{"NewSectionAfterLastLineWithoutEnd", "[Q]\nB=2", "P", "K", "7", "[Q]\nB=2\r\n[P]\r\nK=7\r\n"},
        SetCase{"FirstOfTwoKeys", "[P]\nK=1\nK=2\n", "P", "K", "7", "[P]\nK=7\nK=2\n"},
        SetCase{"FirstOfTwoSections", "[P]\nA=1\n[Q]\n[P]\nK=2\n", "P", "K", "7",
                "[P]\nA=1\nK=7\r\n[Q]\n[P]\nK=2\n"},
        SetCase{"NamesKeepTheirCase", "[points]\ncount=1\n", "Points", "Count", "7", "[points]\ncount=7\n"},
        SetCase{"EntryBeforeAnySectionUntouched", "K=1\n[P]\n", "P", "K", "7", "K=1\n[P]\nK=7\r\n"},
        SetCase{"ByteOrderMarkKept", "\xEF\xBB\xBF[P]\r\nK=1\r\n", "P", "K", "7", "\xEF\xBB\xBF[P]\r\nK=7\r\n"},
        SetCase{"OddButStorableText", "", "P q", "a b", "x;y=z\0\xE9"s, "[P q]\r\na b=x;y=z\0\xE9\r\n"s}),
    [](const auto& info) { return info.param.name; });

TEST(IniDocument, RefusesWhatWouldNotReadBack)
{
    const std::vector<std::vector<std::string>> refused{
        {"", "K", "v"},   {" P", "K", "v"},  {"P\t", "K", "v"},   {"P]", "K", "v"}, {"P\r", "K", "v"},
        {"P", "", "v"},   {"P", " K", "v"},  {"P", "K ", "v"},    {"P", "K=", "v"}, {"P", ";K", "v"},
        {"P", "#K", "v"}, {"P", "[K", "v"},  {"P", "K\n", "v"},   {"P", "K", " v"}, {"P", "K", "v\t"},
        {"P", "K", "a\nb"}, {"P", "K", "a\rb"},
    };
    const std::string bytes = "[P]\r\nK=1\r\n";
    for (const auto& names : refused) {
        TIniDocument document(bytes);
        EXPECT_FALSE(document.Set(names[0], names[1], names[2]))
            << '"' << names[0] << "\" \"" << names[1] << "\" \"" << names[2] << '"';
        EXPECT_EQ(document.Bytes(), bytes);
    }
}

// Random texts built from the pieces that matter to the reader.
std::string RandomText(std::mt19937& random)
{
    static const std::vector<std::string> pieces{
        "[", "]", "=", ";", "#", " ", "\t", "\r", "\n", "\r\n", "\0"s, "\xEF\xBB\xBF", "\xFF",
        "P", "p", "Q", "K", "k", "L", "1", "[P]", "[Q]", "K=", "L=", "\nK=", "\n[P]\n",
    };
    std::uniform_int_distribution<std::size_t> piece(0, pieces.size() - 1);
    std::string text;
    const int count = std::uniform_int_distribution<int>(0, 40)(random);
    for (int n = 0; n < count; ++n)
        text += pieces[piece(random)];
    return text;
}

std::size_t CommonPrefix(const std::string& a, const std::string& b)
{
    std::size_t n = 0;
    while (n < a.size() && n < b.size() && a[n] == b[n])
        ++n;
    return n;
}

std::size_t CommonSuffix(const std::string& a, const std::string& b, std::size_t prefix)
{
    std::size_t n = 0;
    while (n + prefix < a.size() && n + prefix < b.size() && a[a.size() - 1 - n] == b[b.size() - 1 - n])
        ++n;
    return n;
}

TEST(IniDocument, RandomTextsKeepEveryOtherByteAndReadBack)
{
    const std::vector<std::string> sections{"P", "p", "Q"};
    const std::vector<std::string> keys{"K", "k", "L"};
    const std::vector<std::string> values{"", "7", "a b", "=;#[]", "\0x"s, "\xFF"};
    std::mt19937 random(1234);
    const auto pick = [&random](const std::vector<std::string>& from) {
        return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
    };
    for (int n = 0; n < 5000; ++n) {
        const std::string before = RandomText(random);
        const TIniDocument original(before);
        ASSERT_EQ(original.Bytes(), before);

        const std::string section = pick(sections);
        const std::string key = pick(keys);
        const std::string value = pick(values);
        TIniDocument changed(before);
        ASSERT_TRUE(changed.Set(section, key, value));
        const std::string& after = changed.Bytes();
        const TIniDocument reread(after);
        ASSERT_EQ(reread.Find(section, key), value) << testing::PrintToString(before);

        // Only the old value (if any) may be gone; everything else is still there.
        const std::size_t prefix = CommonPrefix(before, after);
        const std::size_t kept = prefix + CommonSuffix(before, after, prefix);
        const std::size_t oldValueSize = original.Find(section, key).value_or("").size();
        ASSERT_LE(before.size() - kept, oldValueSize) << testing::PrintToString(before);

        // Every other name reads as before.
        for (const std::string& s : {"P"s, "Q"s}) {
            for (const std::string& k : {"K"s, "L"s}) {
                const bool same = (s == "P") == (section != "Q") && (k == "L") == (key == "L");
                if (!same) {
                    ASSERT_EQ(reread.Find(s, k), original.Find(s, k)) << testing::PrintToString(before);
                }
            }
        }
    }
}

TEST(IniInteger, ParsesTheIntegerForms)
{
    const std::vector<std::pair<std::string, std::optional<std::int32_t>>> cases{
        {"0", 0},
        {"12", 12},
        {"-5", -5},
        {"+3", 3},
        {" 7", 7},
        {" \t 7", 7},
        {"-0", 0},
        {"000000000000000000000012", 12},
        {"$40", 64},
        {"0x40", 64},
        {"0X1f", 31},
        {"$Ff", 255},
        {"-$10", -16},
        {"+0x10", 16},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"-$80000000", -2147483647 - 1},
        {"$7FFFFFFF", 2147483647},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"$80000000", std::nullopt},
        {"$FFFFFFFF", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"", std::nullopt},
        {" ", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"$", std::nullopt},
        {"0x", std::nullopt},
        {"7x", std::nullopt},
        {"7 ", std::nullopt},
        {"abc", std::nullopt},
        {"1e3", std::nullopt},
        {"12.0", std::nullopt},
        {"$g", std::nullopt},
        {"0x-1", std::nullopt},
        {"--1", std::nullopt},
        {"+-1", std::nullopt},
        {"- 1", std::nullopt},
        {"$ 1", std::nullopt},
        {"1\0"s, std::nullopt},
        {"\xEF\xBC\x91", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(ParseIniInteger(text), expected) << testing::PrintToString(text);
}

}  // namespace
