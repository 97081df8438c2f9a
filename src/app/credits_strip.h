// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>
#include <QTimer>
#include <QWidget>

// A strip of a few lines of text, left-aligned and never wrapped, rolling
// upwards one pixel per step: the block leaves at the top and comes back
// from below. Aqua text on blue.
class TCreditsStrip : public QWidget {
    Q_OBJECT

public:
    // Time between two steps.
    static constexpr int StepInterval = 100;

    // An empty strip, standing still, its text at the top.
    explicit TCreditsStrip(QWidget* parent = nullptr);

    // Sets the lines shown, top to bottom.
    void SetLines(const QStringList& lines);
    // The lines shown.
    QStringList Lines() const { return FLines; }

    // Starts the rolling, one pixel every StepInterval milliseconds.
    void Start();
    // Stops the rolling; the text stays where it is.
    void Stop();
    // True while the strip rolls.
    bool IsScrolling() const { return FTimer.isActive(); }

    // Distance in pixels from the strip's top to the top of the text, which
    // rolls from the bottom edge up to where the text has just left.
    int TextTop() const { return height() - FOffset; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Step();
    int BlockHeight() const;

    QStringList FLines;
    QTimer FTimer;
    int FOffset = 0;
};
