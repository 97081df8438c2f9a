// SPDX-License-Identifier: GPL-3.0-or-later
#include "curve/curve_text.h"

#include <cstdio>

namespace {

constexpr int FieldsPerLine = 8;

}  // namespace

std::string BuildCurveText(const std::array<int, 128>& values)
{
    std::string text;
    text.reserve(527);
    const int last = static_cast<int>(values.size()) - 1;
    for (int i = 0; i <= last; ++i) {
        char field[16];  // room for any int, its sign and the comma
        if (i < last)
            std::snprintf(field, sizeof field, "%.3d,", values[static_cast<std::size_t>(i)]);
        else
            std::snprintf(field, sizeof field, "%.3d", values[static_cast<std::size_t>(i)]);
        text += field;
        if ((i + 1) % FieldsPerLine == 0)
            text += '\r';
    }
    return text;
}

std::string ClipboardCurveText(const std::string& text)
{
    std::string joined;
    joined.reserve(text.size() + text.size() / 8 + 2);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) {
            joined.append(text, pos, std::string::npos);
            joined += "\r\n";
            break;
        }
        joined.append(text, pos, end - pos);
        joined += "\r\n";
        pos = end + 1;
        if (text[end] == '\r' && pos < text.size() && text[pos] == '\n')
            ++pos;
    }
    return joined;
}
