// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/curve_location.h"

#include <QDir>
#include <QFileInfo>

QString FindCurveFile(const QString& name, const QString& appDir, const QString& presetDirFromAppDir)
{
    if (name.isEmpty() || QFileInfo::exists(name) || name.contains(QLatin1Char('/')))
        return name;
    const QDir app(appDir);
    for (const QString& folder : {QStringLiteral("courbes"), presetDirFromAppDir}) {
        const QString candidate = QDir::cleanPath(app.filePath(folder + QLatin1Char('/') + name));
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return name;
}

QString FindCurveFile(const QString& name, const QString& appDir)
{
    return FindCurveFile(name, appDir, QStringLiteral(VELOMORPH_PRESET_DIR_FROM_BIN));
}
