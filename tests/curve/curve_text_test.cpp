// SPDX-License-Identifier: GPL-3.0-or-later
#include "curve/curve_text.h"

#include "curve/transfer_table.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The expected text built field by field, independently of the formatting code.
std::string ExpectedText(const std::array<int, 128>& values, const std::string& lineEnd)
{
    std::string text;
    for (int line = 0; line < 16; ++line) {
        for (int field = 0; field < 8; ++field) {
            const int i = line * 8 + field;
            const std::string digits = std::to_string(values[static_cast<std::size_t>(i)]);
            text += std::string(3 - digits.size(), '0') + digits;
            if (i != 127)
                text += ',';
        }
        text += lineEnd;
    }
    return text;
}

std::array<int, 128> TableValues(const CurvePoints& points)
{
    const TTransferTable table = BuildTransferTable(points);
    std::array<int, 128> values{};
    std::copy(table.begin(), table.end(), values.begin());
    return values;
}

TEST(CurveText, IdentityTableGivesTheWorkedExample)
{
    CurvePoints identity = DefaultCurvePoints;
    identity.Count = 0;
    const std::array<int, 128> values = TableValues(identity);

    const std::string text = BuildCurveText(values);
    EXPECT_EQ(text.size(), 527u);
    EXPECT_EQ(text, ExpectedText(values, "\r"));
    EXPECT_TRUE(text.starts_with("000,001,002,003,004,005,006,007,\r008,"));
    EXPECT_TRUE(text.ends_with("\r120,121,122,123,124,125,126,127\r"));

    const std::string clipboard = ClipboardCurveText(text);
    EXPECT_EQ(clipboard.size(), 543u);
    EXPECT_EQ(clipboard, ExpectedText(values, "\r\n"));
}

TEST(CurveText, DefaultCurve)
{
    const std::array<int, 128> values = TableValues(DefaultCurvePoints);
    const std::string text = BuildCurveText(values);
    EXPECT_EQ(text, ExpectedText(values, "\r"));
    EXPECT_EQ(ClipboardCurveText(text), ExpectedText(values, "\r\n"));
    // Entries 48 to 55 of the default curve: 19, 19, 20, 20, 23, 26, 29, 32.
    EXPECT_NE(text.find("\r019,019,020,020,023,026,029,032,\r"), std::string::npos);
}

TEST(CurveText, ClipboardTextSplitsAtEveryKindOfLineBreak)
{
    const std::vector<std::pair<std::string, std::string>> cases{
        {"", ""},
        {"a\r", "a\r\n"},
        {"a", "a\r\n"},
        {"a\rb\nc\r\nd", "a\r\nb\r\nc\r\nd\r\n"},
        {"a\n\r", "a\r\n\r\n"},
        {"\r\n\r\n", "\r\n\r\n"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(ClipboardCurveText(text), expected) << '"' << text << '"';
}

}  // namespace
