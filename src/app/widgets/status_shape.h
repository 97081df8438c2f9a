// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QWidget>

// A rectangle filled with a brush colour inside a thin black outline; its hint
// is the widget's tooltip.
class TStatusShape : public QWidget {
    Q_OBJECT

public:
    // White brush until set.
    explicit TStatusShape(QWidget* parent = nullptr);

    // Fill colour of the rectangle.
    QColor BrushColor() const { return FBrushColor; }
    // Changes the fill colour and repaints.
    void SetBrushColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor FBrushColor = Qt::white;
};
