// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings_text.h"

#include <QChar>

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The character an escape letter stands for; 0 for an unknown one, which
// stands for itself.
char Escaped(char letter)
{
    switch (letter) {
    case 'a': return '\a';
    case 'b': return '\b';
    case 'f': return '\f';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    case 'v': return '\v';
    default: return 0;
    }
}

// Whether the text must be quoted to read back as it is.
bool NeedsQuotes(const QString& text)
{
    if (text.isEmpty())
        return false;
    if (text.front().isSpace() || text.back().isSpace())
        return true;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c == u'"' || c == u'\\' || c == u',' || c == u';' || c == u'=' || c == u'#')
            return true;
    }
    return false;
}

} // namespace

std::optional<QString> DecodeSettingsText(std::string_view value)
{
    std::string bytes;
    bool quoted = false;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (c == ',' && !quoted)
            return std::nullopt; // a list
        if (c != '\\' || i + 1 == value.size()) {
            bytes += c;
            continue;
        }
        const char letter = value[++i];
        if (letter == 'x') {
            unsigned code = 0;
            int digits = 0;
            while (digits < 4 && i + 1 < value.size() && HexDigit(value[i + 1]) >= 0) {
                code = code * 16 + static_cast<unsigned>(HexDigit(value[++i]));
                ++digits;
            }
            bytes += QString(QChar(static_cast<char16_t>(code))).toStdString();
        } else if (const char escaped = Escaped(letter)) {
            bytes += escaped;
        } else {
            bytes += letter;
        }
    }
    QString text = QString::fromStdString(bytes);
    if (text.startsWith(u'@')) {
        if (!text.startsWith(QStringLiteral("@@")))
            return std::nullopt;
        text.remove(0, 1);
    }
    return text;
}

std::string EncodeSettingsText(const QString& given)
{
    const QString text = given.startsWith(u'@') ? u'@' + given : given;
    if (!NeedsQuotes(text))
        return text.toStdString();
    QString escaped(QLatin1Char('"'));
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"': escaped += QStringLiteral("\\\""); break;
        case '\\': escaped += QStringLiteral("\\\\"); break;
        case '\n': escaped += QStringLiteral("\\n"); break;
        case '\r': escaped += QStringLiteral("\\r"); break;
        case '\t': escaped += QStringLiteral("\\t"); break;
        default:
            if (c.unicode() < 0x20)
                escaped += QStringLiteral("\\x%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                escaped += c;
        }
    }
    escaped += QLatin1Char('"');
    return escaped.toStdString();
}

std::optional<bool> DecodeSettingsBool(std::string_view value)
{
    const std::optional<QString> text = DecodeSettingsText(value);
    if (!text)
        return std::nullopt;
    return !(text->isEmpty() || *text == QStringLiteral("0") || text->compare(QStringLiteral("false"), Qt::CaseInsensitive) == 0);
}
