// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <cstdint>

// A colour as 0x00BBGGRR: red in bits 0 to 7, green in 8 to 15, blue in 16 to 23.
using TColor = std::uint32_t;

// The pixel value of a TColor; the top byte is ignored.
inline QRgb TColorToQRgb(TColor c)
{
    return qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// The QColor of a TColor; the top byte is ignored.
inline QColor TColorToQColor(TColor c)
{
    return QColor::fromRgb(TColorToQRgb(c));
}

// The TColor of a QColor, its alpha dropped.
inline TColor QColorToTColor(const QColor& c)
{
    const QRgb rgb = c.rgb();
    return TColor(qRed(rgb)) | (TColor(qGreen(rgb)) << 8) | (TColor(qBlue(rgb)) << 16);
}
