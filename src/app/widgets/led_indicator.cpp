// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/widgets/led_indicator.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cstdlib>

namespace {

constexpr TColor White = 0xFFFFFF;
constexpr TColor Gray = 0x808080;

// Rectangle from (x1, y1) to (x2, y2): pixels x1..x2-1 across and y1..y2-1
// down, the outermost ring in `outline`, the inside in `fill`. An empty or
// inverted rectangle covers nothing; pixels outside the image are skipped.
// 64-bit coordinates, so that any margin, however large, stays exact.
void DrawRectangle(QImage& image, long long x1, long long y1, long long x2, long long y2, QRgb outline, QRgb fill)
{
    const long long top = std::max(y1, 0LL);
    const long long bottom = std::min<long long>(y2, image.height());
    const long long left = std::max(x1, 0LL);
    const long long right = std::min<long long>(x2, image.width());
    for (long long y = top; y < bottom; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(int(y)));
        for (long long x = left; x < right; ++x) {
            const bool ring = x == x1 || x == x2 - 1 || y == y1 || y == y2 - 1;
            line[x] = ring ? outline : fill;
        }
    }
}

// Straight line from a to b: a and every pixel up to b, b itself excluded.
// Used for horizontal and vertical lines only.
void DrawLine(QImage& image, QPoint a, QPoint b, QRgb colour)
{
    const int dx = b.x() - a.x();
    const int dy = b.y() - a.y();
    const int steps = std::max(std::abs(dx), std::abs(dy));
    const QPoint step((dx > 0) - (dx < 0), (dy > 0) - (dy < 0));
    QPoint p = a;
    for (int i = 0; i < steps; ++i, p += step) {
        if (image.rect().contains(p))
            image.setPixel(p, colour);
    }
}

} // namespace

TLedIndicator::TLedIndicator(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    SetBounds(x(), y(), 13, 13);
    FBorder = btRaised;
    FBorderMargin = 3;
    FBGColor = 0xC0C0C0;
    FBorderColor = 0x000000;
    FLedOnColor = 0x00FF00;
    FLedOffColor = 0x008000;
    FLedOn = false;
}

void TLedIndicator::SetBounds(int left, int top, int width, int height)
{
    setGeometry(left, top, width, height);
    // A hidden widget gets its resize event only when shown; size() is already
    // the new one, so the buffer follows here and now.
    FitBufferToSize();
}

void TLedIndicator::FitBufferToSize()
{
    if (FBmpBuffer.size() == size())
        return;
    FBmpBuffer = QImage(size(), QImage::Format_RGB32);
    FBufferHoldsPicture = false;
}

void TLedIndicator::Paint()
{
    RenderBuffer();
    // repaint() copies synchronously; while the control is not on screen it
    // does nothing and the picture shows at the first repaint.
    repaint();
}

void TLedIndicator::RenderBuffer()
{
    FitBufferToSize();
    ++FRenderCount;
    // An empty control, or a buffer that could not be allocated, has nothing to show.
    if (FBmpBuffer.isNull())
        return;

    const int w = FBmpBuffer.width();
    const int h = FBmpBuffer.height();
    const long long m = FBorderMargin;

    const QRgb face = TColorToQRgb(FBGColor);
    DrawRectangle(FBmpBuffer, 0, 0, w, h, FBorder == btSingle ? TColorToQRgb(FBorderColor) : face, face);

    // A margin too large for the control leaves the lamp rectangle empty or
    // inverted: no lamp is drawn then.
    const QRgb lamp = TColorToQRgb(FLedOn ? FLedOnColor : FLedOffColor);
    DrawRectangle(FBmpBuffer, m, m, w - m, h - m, lamp, lamp);

    if (FBorder == btRaised || FBorder == btLowered) {
        const QRgb first = TColorToQRgb(FBorder == btRaised ? White : Gray);
        const QRgb second = TColorToQRgb(FBorder == btRaised ? Gray : White);
        DrawLine(FBmpBuffer, {0, h - 1}, {0, 0}, first);
        DrawLine(FBmpBuffer, {0, 0}, {w - 1, 0}, first);
        DrawLine(FBmpBuffer, {w - 1, 0}, {w - 1, h - 1}, second);
        DrawLine(FBmpBuffer, {w - 1, h - 1}, {0, h - 1}, second);
    }
    FBufferHoldsPicture = true;
}

template <typename T> void TLedIndicator::Assign(T& field, T value)
{
    if (field == value)
        return;
    field = value;
    Paint();
}

void TLedIndicator::SetBGColor(TColor value) { Assign(FBGColor, value); }
void TLedIndicator::SetBorderColor(TColor value) { Assign(FBorderColor, value); }
void TLedIndicator::SetLedOnColor(TColor value) { Assign(FLedOnColor, value); }
void TLedIndicator::SetLedOffColor(TColor value) { Assign(FLedOffColor, value); }
void TLedIndicator::SetBorder(TBorderType value) { Assign(FBorder, value); }
void TLedIndicator::SetBorderMargin(int value) { Assign(FBorderMargin, std::int32_t(value)); }
void TLedIndicator::SetLedOn(bool value) { Assign(FLedOn, value); }

void TLedIndicator::paintEvent(QPaintEvent*)
{
    if (FBmpBuffer.size() != size() || !FBufferHoldsPicture)
        RenderBuffer();
    QPainter painter(this);
    painter.drawImage(0, 0, FBmpBuffer);
}

void TLedIndicator::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FitBufferToSize();
}

void TLedIndicator::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        FLeftPressed = true;
    event->accept();
}

void TLedIndicator::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = event->button() == Qt::LeftButton && FLeftPressed && rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        FLeftPressed = false;
    if (click && OnClick)
        OnClick(this);
    event->accept();
}
