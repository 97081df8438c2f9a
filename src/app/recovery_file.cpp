// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/recovery_file.h"

#include "curve/curve_file.h"
#include "platform/exception.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstddef>
#include <string>

#include <fcntl.h>
#include <unistd.h>

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
    const std::string bytes = CurveFileBytes(points);
    for (int number = 1; number <= MaxRecoveryFiles; ++number) {
        const QString path = QDir(folder).filePath(RecoveryName(number));
        const QByteArray name = QFile::encodeName(path);
        // Created exclusively, never through a link, and written through the
        // descriptor that created it: whoever else may write the folder can
        // neither steer the curve into another file nor make it overwrite one.
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST || errno == ELOOP)
                continue;
            throw Exception(QStringLiteral("Impossible d'écrire dans %1").arg(path).toStdString());
        }
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0)
                break;
            done += static_cast<std::size_t>(count);
        }
        const bool written = done == bytes.size() && ::fsync(fd) == 0;
        if (::close(fd) != 0 || !written) {
            ::unlink(name.constData());
            throw Exception(QStringLiteral("Impossible d'écrire dans %1").arg(path).toStdString());
        }
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
