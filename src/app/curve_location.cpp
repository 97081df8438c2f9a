// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/curve_location.h"

#include "platform/file_name.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

// Asked of the system by the name's own bytes, which Qt's file functions would change.
bool Exists(const QString& name)
{
    struct stat status {};
    return ::stat(EncodeFileName(name).constData(), &status) == 0;
}

} // namespace

QString FindCurveFile(const QString& name, const QString& appDir, const QString& presetDirFromAppDir)
{
    if (name.isEmpty() || Exists(name) || name.contains(QLatin1Char('/')))
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
