// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/widgets/status_shape.h"

#include <QPainter>

TStatusShape::TStatusShape(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TStatusShape::SetBrushColor(const QColor& color)
{
    if (color == FBrushColor)
        return;
    FBrushColor = color;
    update();
}

void TStatusShape::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.fillRect(rect().adjusted(1, 1, -1, -1), FBrushColor);
}
