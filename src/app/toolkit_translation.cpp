// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/toolkit_translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool InstallToolkitTranslation(QTranslator& translator)
{
    // Sizes, dates and numbers that Qt writes itself (the file dialogs' columns).
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator.load(QLocale(QLocale::French, QLocale::France), QStringLiteral("qtbase"), QStringLiteral("_"),
                         folder))
        return false;
    return QCoreApplication::installTranslator(&translator);
}
