// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/widgets/tcolor.h"

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <functional>

// Border styles of the lamp.
enum TBorderType : std::uint8_t { btNone, btRaised, btLowered, btSingle };

// A small indicator lamp: a face in a background colour, an inner lamp
// rectangle in the on or off colour and an optional one-pixel border. Each
// picture is composed in an off-screen buffer of the control's size and
// reaches the screen in one copy. A property change redraws at once.
class TLedIndicator : public QWidget {
    Q_OBJECT

public:
    // Defaults: 13 x 13, raised border, margin 3, silver face, black border
    // line, lime when on, green when off, off.
    explicit TLedIndicator(QWidget* parent = nullptr);

    // Moves and sizes the control; the buffer follows the new size.
    void SetBounds(int left, int top, int width, int height);
    // Composes the picture in the buffer, then copies it to the screen at once
    // (the copy does nothing while the control is not shown).
    void Paint();

    // Face colour.
    TColor BGColor() const { return FBGColor; }
    void SetBGColor(TColor value);
    // Line colour of the btSingle border.
    TColor BorderColor() const { return FBorderColor; }
    void SetBorderColor(TColor value);
    // Lamp colour while on.
    TColor LedOnColor() const { return FLedOnColor; }
    void SetLedOnColor(TColor value);
    // Lamp colour while off.
    TColor LedOffColor() const { return FLedOffColor; }
    void SetLedOffColor(TColor value);
    // Border style.
    TBorderType Border() const { return FBorder; }
    void SetBorder(TBorderType value);
    // Distance in pixels from each edge to the lamp rectangle.
    int BorderMargin() const { return FBorderMargin; }
    void SetBorderMargin(int value);
    // Whether the lamp is lit.
    bool LedOn() const { return FLedOn; }
    void SetLedOn(bool value);

    // Called on a left click.
    std::function<void(TLedIndicator* sender)> OnClick;

    // The off-screen picture as last composed.
    const QImage& Buffer() const { return FBmpBuffer; }
    // How many pictures have been composed so far, for tests.
    int RenderCount() const { return FRenderCount; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void RenderBuffer();
    void FitBufferToSize();
    template <typename T> void Assign(T& field, T value);

    QImage FBmpBuffer;
    TColor FBGColor;
    TColor FBorderColor;
    TColor FLedOnColor;
    TColor FLedOffColor;
    TBorderType FBorder;
    std::int32_t FBorderMargin;
    bool FLedOn;

    bool FBufferHoldsPicture = false;
    bool FLeftPressed = false;
    int FRenderCount = 0;
};
