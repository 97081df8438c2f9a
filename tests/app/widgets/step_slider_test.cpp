// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/widgets/step_slider.h"

#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

// A point slider as the window shows it, wide enough for every value to
// have a pixel of its own.
class StepSliderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        slider = new TStepSlider(&window);
        slider->setGeometry(0, 0, 320, 40);
        slider->SetRange(0, 127);
        slider->SetValueLabelFormat(QStringLiteral("In %d"));
        slider->SetPosition(50);
        slider->OnChange = [this](TStepSlider* sender) {
            EXPECT_EQ(sender, slider);
            seen.push_back(sender->Position());
        };
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    int TrackY() const { return slider->DecrementButtonRect().center().y(); }

    void Wheel(int delta)
    {
        const QPointF at(slider->PixelForValue(slider->Position()), TrackY());
        QWheelEvent event(at, slider->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(slider, &event);
    }

    QWidget window;
    TStepSlider* slider = nullptr;
    std::vector<int> seen;  // positions reported by OnChange
};

} // namespace

TEST_F(StepSliderTest, SetPositionClampsAndNotifiesOnlyOnAChange)
{
    struct Case {
        int Start, Value, Expected;
        std::vector<int> Seen;
    };
    const Case cases[] = {
        {50, 60, 60, {60}},   {50, 50, 50, {}},     {50, -5, 0, {0}}, {50, 200, 127, {127}},
        {0, -1, 0, {}},       {127, 128, 127, {}},  {0, 127, 127, {127}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Start << " -> " << c.Value);
        const auto handler = slider->OnChange;
        slider->OnChange = nullptr;
        slider->SetPosition(c.Start);
        slider->OnChange = handler;
        seen.clear();
        slider->SetPosition(c.Value);
        EXPECT_EQ(slider->Position(), c.Expected);
        EXPECT_EQ(seen, c.Seen);
    }
}

TEST_F(StepSliderTest, SetRangeClampsThePositionLikeAnyChange)
{
    slider->SetRange(0, 8);
    EXPECT_EQ(slider->Position(), 8);
    EXPECT_EQ(seen, std::vector<int>{8});

    slider->SetRange(20, 10);
    EXPECT_EQ(slider->Min(), 20);
    EXPECT_EQ(slider->Max(), 20);
    EXPECT_EQ(slider->Position(), 20);
}

TEST_F(StepSliderTest, EmptyOnChangeIsSilentAndMaySwitchItselfOff)
{
    slider->OnChange = nullptr;
    slider->SetPosition(70);
    EXPECT_EQ(slider->Position(), 70);

    int calls = 0;
    slider->OnChange = [&](TStepSlider* sender) {
        ++calls;
        sender->OnChange = nullptr;
    };
    slider->SetPosition(71);
    slider->SetPosition(72);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(slider->Position(), 72);
}

TEST_F(StepSliderTest, PressOnTheTrackMovesTheThumbThereAndDragsIt)
{
    QTest::mouseClick(slider, Qt::LeftButton, {}, {slider->PixelForValue(100), TrackY()});
    EXPECT_EQ(slider->Position(), 100);
    EXPECT_EQ(seen, std::vector<int>{100}) << "one change per press";

    // Grabbed off-centre, the thumb keeps its offset to the mouse.
    QTest::mousePress(slider, Qt::LeftButton, {}, {slider->PixelForValue(100) + 3, TrackY()});
    EXPECT_EQ(slider->Position(), 100);
    QTest::mouseMove(slider, {slider->PixelForValue(30) + 3, TrackY()});
    QTest::mouseMove(slider, {slider->PixelForValue(31) + 3, TrackY() + 15});
    QTest::mouseRelease(slider, Qt::LeftButton, {}, {slider->PixelForValue(31) + 3, TrackY() + 15});
    EXPECT_EQ(slider->Position(), 31);

    QTest::mouseClick(slider, Qt::LeftButton, {}, {slider->IncrementButtonRect().left() - 1, TrackY()});
    EXPECT_EQ(slider->Position(), 127) << "past the end of the groove";
    EXPECT_EQ(seen, (std::vector<int>{100, 30, 31, 127}));
}

TEST_F(StepSliderTest, ButtonsKeysAndWheelStep)
{
    struct Case {
        const char* Name;
        std::function<void()> Act;
        int Expected;
    };
    const QPoint plus = slider->IncrementButtonRect().center();
    const QPoint minus = slider->DecrementButtonRect().center();
    const Case cases[] = {
        {"+ button", [&] { QTest::mouseClick(slider, Qt::LeftButton, {}, plus); }, 51},
        {"- button", [&] { QTest::mouseClick(slider, Qt::LeftButton, {}, minus); }, 49},
        {"Left", [&] { QTest::keyClick(slider, Qt::Key_Left); }, 49},
        {"Down", [&] { QTest::keyClick(slider, Qt::Key_Down); }, 49},
        {"Right", [&] { QTest::keyClick(slider, Qt::Key_Right); }, 51},
        {"Up", [&] { QTest::keyClick(slider, Qt::Key_Up); }, 51},
        {"PageUp", [&] { QTest::keyClick(slider, Qt::Key_PageUp); }, 60},
        {"PageDown", [&] { QTest::keyClick(slider, Qt::Key_PageDown); }, 40},
        {"Home", [&] { QTest::keyClick(slider, Qt::Key_Home); }, 0},
        {"End", [&] { QTest::keyClick(slider, Qt::Key_End); }, 127},
        {"wheel up", [&] { Wheel(120); }, 51},
        {"wheel down two notches", [&] { Wheel(-240); }, 48},
        {"half notches add up", [&] { Wheel(60); Wheel(60); }, 51},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        slider->SetPosition(50);
        seen.clear();
        c.Act();
        EXPECT_EQ(slider->Position(), c.Expected);
        EXPECT_EQ(seen, std::vector<int>{c.Expected});
    }

    slider->SetPosition(127);
    seen.clear();
    QTest::mouseClick(slider, Qt::LeftButton, {}, plus);
    QTest::keyClick(slider, Qt::Key_PageUp);
    EXPECT_EQ(slider->Position(), 127);
    EXPECT_TRUE(seen.empty()) << "no change at the bound, so no notification";
}

TEST_F(StepSliderTest, HeldStepButtonRepeatsUntilReleased)
{
    const QPoint plus = slider->IncrementButtonRect().center();
    QTest::mousePress(slider, Qt::LeftButton, {}, plus);
    EXPECT_EQ(slider->Position(), 51);
    // The first repeat comes after a delay, the next ones at a shorter interval.
    ASSERT_TRUE(QTest::qWaitFor([&] { return slider->Position() >= 53; }, 10000));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, plus);
    const int released = slider->Position();

    // A timer started now, longer than the repeat interval (50 ms), fires
    // after the repeat would have: by then nothing more has come.
    bool pastARepeat = false;
    QTimer::singleShot(100, Qt::PreciseTimer, [&] { pastARepeat = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return pastARepeat; }, 10000));
    EXPECT_EQ(slider->Position(), released);
}

TEST_F(StepSliderTest, DisabledIgnoresTheUserButTakesThePosition)
{
    slider->setEnabled(false);
    QTest::mouseClick(slider, Qt::LeftButton, {}, {slider->PixelForValue(100), TrackY()});
    QTest::mouseClick(slider, Qt::LeftButton, {}, slider->IncrementButtonRect().center());
    QTest::keyClick(slider, Qt::Key_Right);
    Wheel(120);
    EXPECT_EQ(slider->Position(), 50);
    EXPECT_TRUE(seen.empty());

    slider->SetPosition(70);
    EXPECT_EQ(slider->Position(), 70);
    EXPECT_EQ(seen, std::vector<int>{70});
}

TEST_F(StepSliderTest, ValueLabelFillsOnlyThePosition)
{
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("In %d"), QStringLiteral("In 50")},
        {QStringLiteral("Out %d"), QStringLiteral("Out 50")},
        {QString(), QString()},
        {QStringLiteral("%s %d %n %%"), QStringLiteral("%s 50 %n %%")},
    };
    for (const auto& [format, expected] : cases) {
        slider->SetValueLabelFormat(format);
        EXPECT_EQ(slider->ValueLabelText(), expected);
        EXPECT_FALSE(slider->grab().isNull());
    }
}
