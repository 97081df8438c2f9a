// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/credits_strip.h"

#include "app/widgets/named_colours.h"

#include <QPainter>

#include <algorithm>

namespace {

using namespace NamedColour;

} // namespace

TCreditsStrip::TCreditsStrip(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    FTimer.setInterval(StepInterval);
    connect(&FTimer, &QTimer::timeout, this, &TCreditsStrip::Step);
}

void TCreditsStrip::SetLines(const QStringList& lines)
{
    FLines = lines;
    update();
}

void TCreditsStrip::Start()
{
    FTimer.start();
}

void TCreditsStrip::Stop()
{
    FTimer.stop();
}

int TCreditsStrip::BlockHeight() const
{
    return fontMetrics().height() * int(FLines.size());
}

void TCreditsStrip::Step()
{
    // One full turn: from the bottom edge until the last line has left the top.
    FOffset = (FOffset + 1) % std::max(1, height() + BlockHeight());
    update();
}

void TCreditsStrip::resizeEvent(QResizeEvent*)
{
    // The text starts at the top, readable at once.
    FOffset = height();
}

void TCreditsStrip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Blue);
    painter.setPen(Aqua);
    const int lineHeight = fontMetrics().height();
    int top = TextTop();
    for (const QString& line : FLines) {
        painter.drawText(QRect(2, top, width() - 2, lineHeight), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         line);
        top += lineHeight;
    }
}
