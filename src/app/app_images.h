// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QPixmap>

// The program's own pictures, built into the executable as resources.

// The application's icon: the main window's and the About box's.
QIcon ApplicationIcon();

// The small bullet that the About box shows before each value.
QPixmap BulletPixmap();
