// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/widgets/status_shape.h"

#include <QHelpEvent>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

TEST(StatusShape, ShowsItsBrushColourInsideABlackOutline)
{
    QWidget window;
    auto* shape = new TStatusShape(&window);
    shape->setGeometry(0, 0, 17, 22);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    shape->SetBrushColor(QColor(0, 255, 0));
    EXPECT_EQ(shape->BrushColor(), QColor(0, 255, 0));
    const QImage picture = shape->grab().toImage();
    EXPECT_EQ(picture.pixelColor(8, 11), QColor(0, 255, 0));
    EXPECT_EQ(picture.pixelColor(1, 1), QColor(0, 255, 0));
    for (const QPoint corner : {QPoint(0, 0), QPoint(16, 0), QPoint(0, 21), QPoint(16, 21)})
        EXPECT_EQ(picture.pixelColor(corner), QColor(Qt::black));
}

TEST(StatusShape, ShowsItsHintOnHover)
{
    QWidget window;
    auto* shape = new TStatusShape(&window);
    shape->setGeometry(10, 10, 17, 22);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    shape->setToolTip(QStringLiteral("Port ouvert"));
    QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), shape->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(shape, &hover);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), QStringLiteral("Port ouvert"));
    QToolTip::hideText();
}
