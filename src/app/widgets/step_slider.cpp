// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/widgets/step_slider.h"

#include "app/widgets/named_colours.h"
#include "app/widgets/ui_font.h"

#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int MaxButtonWidth = 20;
constexpr int Gap = 2;
constexpr int ThumbWidth = 11;
constexpr int MaxThumbHeight = 20;
constexpr int GrooveHeight = 4;
constexpr int RepeatDelayMs = 400;
constexpr int RepeatIntervalMs = 50;
constexpr int PageStep = 10;
constexpr int WheelNotch = 120;

using namespace NamedColour;
const QColor Outline(128, 128, 128);

} // namespace

TStepSlider::TStepSlider(QWidget* parent)
    : QWidget(parent)
    , FButtonColors{Aqua, LightBlue, Aqua, LightBlue}
    , FThumbFrom(0, 0, 255)
    , FThumbTo(0, 0, 128)
{
    setFocusPolicy(Qt::StrongFocus);
    setFont(UiFont());
    FRepeatTimer.setSingleShot(false);
    connect(&FRepeatTimer, &QTimer::timeout, this, [this] {
        FRepeatTimer.setInterval(RepeatIntervalMs);
        StepBy(FRepeatStep);
    });
}

QSize TStepSlider::sizeHint() const
{
    return {169, 40};
}

void TStepSlider::SetRange(int min, int max)
{
    FMin = min;
    FMax = std::max(min, max);
    update();
    // The position follows the new bounds like any other change.
    SetPosition(FPosition);
}

void TStepSlider::SetPosition(int value)
{
    const int clamped = std::clamp(value, FMin, FMax);
    if (clamped == FPosition)
        return;
    FPosition = clamped;
    update();
    // A copy, so that the handler may reassign OnChange while it runs.
    if (OnChange) {
        const auto handler = OnChange;
        handler(this);
    }
}

void TStepSlider::SetButtonColors(const ButtonColors& c)
{
    FButtonColors = c;
    update();
}

void TStepSlider::SetValueLabelFormat(const QString& fmt)
{
    FLabelFormat = fmt;
    update();
}

QString TStepSlider::ValueLabelText() const
{
    QString text = FLabelFormat;
    return text.replace(QStringLiteral("%d"), QString::number(FPosition));
}

void TStepSlider::SetThumbGradient(const QColor& from, const QColor& to)
{
    FThumbFrom = from;
    FThumbTo = to;
    update();
}

TStepSlider::Layout TStepSlider::ComputeLayout() const
{
    Layout l;
    const int labelHeight = FLabelFormat.isEmpty() ? 0 : fontMetrics().height();
    const int rowTop = std::min(labelHeight, height());
    const int rowHeight = height() - rowTop;
    const int buttonWidth = std::clamp(rowHeight, 0, std::min(MaxButtonWidth, width() / 2));
    l.Decrement = QRect(0, rowTop, buttonWidth, rowHeight);
    l.Increment = QRect(width() - buttonWidth, rowTop, buttonWidth, rowHeight);
    l.Track = QRect(buttonWidth + Gap, rowTop, std::max(0, width() - 2 * (buttonWidth + Gap)), rowHeight);
    l.Label = QRect(l.Track.left(), 0, l.Track.width(), rowTop);
    l.GrooveLeft = l.Track.left() + ThumbWidth / 2;
    l.GrooveRight = std::max(l.GrooveLeft, l.Track.right() - ThumbWidth / 2);
    return l;
}

int TStepSlider::PixelForValue(int value) const
{
    const Layout l = ComputeLayout();
    if (FMax == FMin)
        return l.GrooveLeft;
    const double fraction = (double(value) - FMin) / (double(FMax) - FMin);
    return l.GrooveLeft + int(std::lround(fraction * (l.GrooveRight - l.GrooveLeft)));
}

int TStepSlider::ValueAtPixel(const Layout& layout, int x) const
{
    const int span = layout.GrooveRight - layout.GrooveLeft;
    if (span <= 0)
        return FMin;
    const double fraction = std::clamp(double(x - layout.GrooveLeft) / span, 0.0, 1.0);
    return FMin + int(std::lround(fraction * (double(FMax) - FMin)));
}

QRect TStepSlider::ThumbRect(const Layout& layout) const
{
    const int h = std::min(MaxThumbHeight, std::max(0, layout.Track.height() - 6));
    const int cx = PixelForValue(FPosition);
    return QRect(cx - ThumbWidth / 2, layout.Track.center().y() - h / 2, ThumbWidth, h);
}

void TStepSlider::StepBy(int delta)
{
    // In 64 bits, so that a step past the end of the int range still clamps.
    const long long target = std::clamp<long long>(static_cast<long long>(FPosition) + delta, FMin, FMax);
    SetPosition(int(target));
}

void TStepSlider::StartRepeat(int step)
{
    FRepeatStep = step;
    StepBy(step);
    FRepeatTimer.start(RepeatDelayMs);
}

void TStepSlider::StopInteraction()
{
    FRepeatTimer.stop();
    FDragging = false;
}

void TStepSlider::DrawButton(QPainter& painter, const QRect& r, bool plus) const
{
    if (r.isEmpty())
        return;
    const int middle = r.top() + r.height() / 2;
    QLinearGradient upper(0, r.top(), 0, middle);
    upper.setColorAt(0, FButtonColors.Main);
    upper.setColorAt(1, FButtonColors.GradientEnd);
    QLinearGradient lower(0, middle, 0, r.bottom() + 1);
    lower.setColorAt(0, FButtonColors.MirrorMain);
    lower.setColorAt(1, FButtonColors.MirrorGradientEnd);
    painter.fillRect(QRect(r.left(), r.top(), r.width(), middle - r.top()), upper);
    painter.fillRect(QRect(r.left(), middle, r.width(), r.bottom() + 1 - middle), lower);

    painter.setPen(Outline);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(r.adjusted(0, 0, -1, -1));

    // The glyph as lines, so that it looks the same with any font.
    painter.setPen(QPen(isEnabled() ? Qt::black : Outline, 2));
    const QPoint c = r.center();
    const int arm = std::max(1, std::min(r.width(), r.height()) / 4);
    painter.drawLine(c.x() - arm, c.y(), c.x() + arm, c.y());
    if (plus)
        painter.drawLine(c.x(), c.y() - arm, c.x(), c.y() + arm);
}

void TStepSlider::paintEvent(QPaintEvent*)
{
    const Layout l = ComputeLayout();
    QPainter painter(this);

    DrawButton(painter, l.Decrement, false);
    DrawButton(painter, l.Increment, true);

    const bool enabled = isEnabled();
    const int cy = l.Track.center().y();
    const QRect groove(l.Track.left(), cy - GrooveHeight / 2, l.Track.width(), GrooveHeight);
    painter.setPen(enabled ? QColor(64, 64, 64) : Outline);
    painter.setBrush(enabled ? QColor(Qt::white) : QColor(224, 224, 224));
    painter.drawRect(groove.adjusted(0, 0, -1, -1));

    const QRect thumb = ThumbRect(l);
    if (!thumb.isEmpty()) {
        QLinearGradient gradient(0, thumb.top(), 0, thumb.bottom() + 1);
        gradient.setColorAt(0, enabled ? FThumbFrom : QColor(192, 192, 192));
        gradient.setColorAt(1, enabled ? FThumbTo : QColor(128, 128, 128));
        painter.fillRect(thumb, gradient);
        painter.setPen(enabled ? QColor(FThumbTo).darker(150) : Outline);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(thumb.adjusted(0, 0, -1, -1));
    }

    const QString label = ValueLabelText();
    if (!label.isEmpty() && !l.Label.isEmpty()) {
        const QFontMetrics fm = fontMetrics();
        const int textWidth = fm.horizontalAdvance(label);
        // Centred over the thumb, but kept between the step buttons.
        const int left = std::max(l.Label.left(),
                                  std::min(PixelForValue(FPosition) - textWidth / 2, l.Label.right() + 1 - textWidth));
        painter.setPen(palette().color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        painter.drawText(QRect(left, l.Label.top(), textWidth, l.Label.height()), Qt::AlignCenter, label);
    }

    if (hasFocus()) {
        painter.setPen(QPen(QColor(64, 64, 64), 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(l.Track.adjusted(0, 0, -1, -1));
    }
}

void TStepSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const Layout l = ComputeLayout();
    const QPoint pos = event->position().toPoint();
    if (l.Decrement.contains(pos)) {
        StartRepeat(-1);
    } else if (l.Increment.contains(pos)) {
        StartRepeat(+1);
    } else if (pos.x() > l.Decrement.right() && pos.x() < l.Increment.left() && pos.y() >= l.Track.top()) {
        const int thumbCentre = PixelForValue(FPosition);
        // A press on the thumb grabs it where it was taken; elsewhere the
        // thumb jumps to the press and follows from there.
        if (std::abs(pos.x() - thumbCentre) <= ThumbWidth / 2) {
            FDragOffset = pos.x() - thumbCentre;
        } else {
            FDragOffset = 0;
            SetPosition(ValueAtPixel(l, pos.x()));
        }
        FDragging = true;
    }
    event->accept();
}

void TStepSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (FDragging)
        SetPosition(ValueAtPixel(ComputeLayout(), event->position().toPoint().x() - FDragOffset));
    event->accept();
}

void TStepSlider::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        StopInteraction();
    event->accept();
}

void TStepSlider::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Down:
        StepBy(-1);
        break;
    case Qt::Key_Right:
    case Qt::Key_Up:
        StepBy(+1);
        break;
    case Qt::Key_PageUp:
        StepBy(PageStep);
        break;
    case Qt::Key_PageDown:
        StepBy(-PageStep);
        break;
    case Qt::Key_Home:
        SetPosition(FMin);
        break;
    case Qt::Key_End:
        SetPosition(FMax);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void TStepSlider::wheelEvent(QWheelEvent* event)
{
    const QPoint delta = event->angleDelta();
    // Fine-grained wheels send fractions of a notch: they add up to whole steps.
    FWheelRemainder += delta.y() != 0 ? delta.y() : delta.x();
    const int steps = FWheelRemainder / WheelNotch;
    FWheelRemainder -= steps * WheelNotch;
    if (steps != 0)
        StepBy(steps);
    event->accept();
}

void TStepSlider::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        StopInteraction();
    QWidget::changeEvent(event);
}

void TStepSlider::hideEvent(QHideEvent* event)
{
    StopInteraction();
    QWidget::hideEvent(event);
}
