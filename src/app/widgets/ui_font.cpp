#include "app/widgets/ui_font.h"

#include <QFontDatabase>

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
