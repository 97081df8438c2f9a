// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>

class QPainter;

// Horizontal slider with a step button at each end ("−" left, "+" right), a
// track with a gradient thumb and an optional value label above the thumb.
// Every change, from the user or the program, goes through SetPosition, so
// OnChange runs once per actual change.
class TStepSlider : public QWidget {
    Q_OBJECT

public:
    // Colours of the step buttons: the upper half runs Main to GradientEnd,
    // the lower half MirrorMain to MirrorGradientEnd, each from top to bottom.
    struct ButtonColors {
        QColor Main, GradientEnd, MirrorMain, MirrorGradientEnd;
    };

    // Range 0 to 10, position 0, tag 0, aqua to light blue buttons, blue to navy thumb, no label.
    explicit TStepSlider(QWidget* parent = nullptr);

    // Sets the bounds (max below min is taken as min) and clamps the position into them.
    void SetRange(int min, int max);
    // Lower bound.
    int Min() const { return FMin; }
    // Upper bound.
    int Max() const { return FMax; }

    // Current position.
    int Position() const { return FPosition; }
    // Clamps to [Min, Max]; when the result differs from the position, stores
    // it, repaints and calls OnChange. Works on a disabled slider too.
    void SetPosition(int value);

    // Free number for the owner (the point number of a curve slider).
    int Tag() const { return FTag; }
    void SetTag(int tag) { FTag = tag; }

    // Called after each change of the position; empty means silent.
    std::function<void(TStepSlider* sender)> OnChange;

    // Colours of both step buttons.
    void SetButtonColors(const ButtonColors& c);
    ButtonColors GetButtonColors() const { return FButtonColors; }

    // Format of the value label, each "%d" standing for the position ("In %d");
    // empty means no label. The format is never handed to printf.
    void SetValueLabelFormat(const QString& fmt);
    // The value label as shown; empty when there is none.
    QString ValueLabelText() const;

    // Thumb gradient, top to bottom.
    void SetThumbGradient(const QColor& from, const QColor& to);

    // Where the step buttons sit, in widget pixels.
    QRect DecrementButtonRect() const { return ComputeLayout().Decrement; }
    QRect IncrementButtonRect() const { return ComputeLayout().Increment; }
    // Horizontal pixel of the thumb's centre at a given position.
    int PixelForValue(int value) const;

    // The size of a point slider on the main window.
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Layout {
        QRect Decrement, Increment, Label, Track;
        int GrooveLeft = 0, GrooveRight = 0;  // thumb centre at Min and at Max
    };

    Layout ComputeLayout() const;
    int ValueAtPixel(const Layout& layout, int x) const;
    QRect ThumbRect(const Layout& layout) const;
    void StepBy(int delta);
    void StartRepeat(int step);
    void StopInteraction();
    void DrawButton(QPainter& painter, const QRect& r, bool plus) const;

    int FMin = 0;
    int FMax = 10;
    int FPosition = 0;
    int FTag = 0;
    ButtonColors FButtonColors;
    QString FLabelFormat;
    QColor FThumbFrom;
    QColor FThumbTo;

    QTimer FRepeatTimer;
    int FRepeatStep = 0;
    bool FDragging = false;
    int FDragOffset = 0;
    int FWheelRemainder = 0;
};
