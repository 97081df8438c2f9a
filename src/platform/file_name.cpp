// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_name.h"

#include <cstdint>

namespace {

constexpr char16_t EscapeBase = 0xDC00;

bool IsEscapedByte(char16_t unit)
{
    return unit >= EscapeBase + 0x80 && unit <= EscapeBase + 0xFF;
}

// The length of the valid UTF-8 sequence at `at`, and its code point; 0 when
// none starts there (also overlong forms, surrogates and values past U+10FFFF).
int Utf8Sequence(const QByteArray& bytes, qsizetype at, char32_t& code)
{
    const auto byte = [&](qsizetype i) { return static_cast<std::uint8_t>(bytes[i]); };
    const std::uint8_t lead = byte(at);
    int length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        code = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        code = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        code = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

QString DecodeFileName(const QByteArray& bytes)
{
    QString name;
    name.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        char32_t code = 0;
        const int length = Utf8Sequence(bytes, at, code);
        if (length == 0) {
            name += QChar(static_cast<char16_t>(EscapeBase + static_cast<std::uint8_t>(bytes[at])));
            ++at;
            continue;
        }
        name += QString::fromUcs4(&code, 1);
        at += length;
    }
    return name;
}

QByteArray EncodeFileName(const QString& name)
{
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype from = 0;
    const auto flush = [&](qsizetype to) {
        bytes += name.mid(from, to - from).toUtf8();
    };
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t unit = name[i].unicode();
        const bool paired = i > 0 && QChar::isHighSurrogate(name[i - 1].unicode());
        if (IsEscapedByte(unit) && !paired) {
            flush(i);
            bytes += static_cast<char>(unit - EscapeBase);
            from = i + 1;
        }
    }
    flush(name.size());
    return bytes;
}

bool IsValidUtf8Name(const QString& name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        const bool paired = i > 0 && QChar::isHighSurrogate(name[i - 1].unicode());
        if (IsEscapedByte(name[i].unicode()) && !paired)
            return false;
    }
    return true;
}
