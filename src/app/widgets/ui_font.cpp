// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/widgets/ui_font.h"

#include <QFontDatabase>
#include <QLabel>

QFont UiFont(bool bold)
{
    static const QString family = QFontDatabase::hasFamily(QStringLiteral("Tahoma"))
        ? QStringLiteral("Tahoma")
        : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    // Pixels, not points: 8 pt is 11 px at 96 dpi, and the layout is in pixels.
    font.setPixelSize(11);
    font.setBold(bold);
    return font;
}

void FitLabelToWidth(QLabel* label, int room)
{
    const int natural = label->sizeHint().width();
    if (natural <= room)
        return;
    // Glyph widths do not scale exactly with the stretch: narrow until it fits.
    QFont font = label->font();
    for (int stretch = 100 * room / natural; stretch >= 50; --stretch) {
        font.setStretch(stretch);
        label->setFont(font);
        if (label->sizeHint().width() <= room)
            break;
    }
    label->adjustSize();
}
