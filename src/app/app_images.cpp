// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_images.h"

QIcon ApplicationIcon()
{
    return QIcon(QStringLiteral(":/velomorph/velomorph.png"));
}

QPixmap BulletPixmap()
{
    return QPixmap(QStringLiteral(":/velomorph/bullet.png"));
}
