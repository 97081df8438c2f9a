// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/recovery_file.h"

#include "curve/curve_file.h"
#include "platform/exception.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace {

// Enough names for every recovery a user could leave behind.
constexpr int MaxRecoveryFiles = 1000;

QString RecoveryName(int number)
{
    if (number == 1)
        return RecoveryFileName;
    return QStringLiteral("velomorph-recovered-%1.dat").arg(number);
}

} // namespace

QString RecoveryFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

QString WriteRecoveryFile(const QString& folder, const CurvePoints& points)
{
    const QString cannotWrite = QStringLiteral("Impossible d'écrire dans %1").arg(folder);
    if (folder.isEmpty() || !QDir().mkpath(folder))
        throw Exception(cannotWrite.toStdString());
    for (int number = 1; number <= MaxRecoveryFiles; ++number) {
        const QString path = QDir(folder).filePath(RecoveryName(number));
        // Created empty and exclusively: the name is ours before anything is written.
        QFile claim(path);
        if (!claim.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (claim.exists())
                continue;
            throw Exception(QStringLiteral("Impossible d'écrire dans %1").arg(path).toStdString());
        }
        claim.close();
        WriteCurveFile(QFile::encodeName(path).toStdString(), points);
        return path;
    }
    throw Exception(cannotWrite.toStdString());
}

QString CurveFileText(const CurvePoints& points)
{
    const CurvePoints values = ClampCurvePoints(points);
    QString text = QStringLiteral("[%1]\n").arg(QLatin1String(CurveSection));
    const auto line = [&text](CurveKey key, int value) {
        text += QStringLiteral("%1=%2\n").arg(QString::fromStdString(CurveKeyName(key))).arg(value);
    };
    line({0, PointAxis::In}, values.Count);
    for (int point = 1; point <= EndPoint; ++point) {
        line({point, PointAxis::In}, values.In[point - 1]);
        line({point, PointAxis::Out}, values.Out[point - 1]);
    }
    return text;
}
