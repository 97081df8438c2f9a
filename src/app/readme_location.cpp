// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/readme_location.h"

#include <QDir>
#include <QFileInfo>

QString FindReadme(const QString& appDir, const QString& docDirFromAppDir)
{
    const QString besideExecutable = appDir + ReadmeFileName;
    if (QFileInfo(besideExecutable).isFile())
        return besideExecutable;
    const QString installed =
        QDir::toNativeSeparators(QDir::cleanPath(QDir(appDir).filePath(docDirFromAppDir + QLatin1Char('/') + ReadmeFileName)));
    if (QFileInfo(installed).isFile())
        return installed;
    return besideExecutable;
}

QString FindReadme(const QString& appDir)
{
    return FindReadme(appDir, QStringLiteral(VELOMORPH_DOC_DIR_FROM_BIN));
}
