// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/widgets/led_indicator.h"

#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

// One letter per colour, so that a picture reads as text.
constexpr std::pair<char, TColor> Palette[] = {
    {'W', 0xFFFFFF}, {'G', 0x808080}, {'s', 0xC0C0C0}, {'K', 0x000000},
    {'L', 0x00FF00}, {'g', 0x008000}, {'r', 0x0000FF},
};

std::string Picture(const QImage& image)
{
    std::string text;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            char letter = '?';
            for (const auto& [c, colour] : Palette) {
                if (image.pixel(x, y) == TColorToQRgb(colour))
                    letter = c;
            }
            text += letter;
        }
        text += '\n';
    }
    return text;
}

std::string Lines(std::initializer_list<const char*> rows)
{
    std::string text;
    for (const char* row : rows)
        text += std::string(row) + '\n';
    return text;
}

class PaintCounter : public QObject {
public:
    int Paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++Paints;
        return false;
    }
};

struct PictureCase {
    const char* Name;
    int Width, Height;
    TBorderType Border;
    int Margin;
    bool On;
    TColor BorderColor;
    std::string Expected;
};

} // namespace

TEST(LedIndicator, BufferHoldsTheExactPicture)
{
    const PictureCase cases[] = {
        {"default raised, on", 13, 13, btRaised, 3, true, 0x000000,
         Lines({"WWWWWWWWWWWWG",
                "WsssssssssssG",
                "WsssssssssssG",
                "WssLLLLLLLssG",
                "WssLLLLLLLssG",
                "WssLLLLLLLssG",
                "WssLLLLLLLssG",
                "WssLLLLLLLssG",
                "WssLLLLLLLssG",
                "WssLLLLLLLssG",
                "WsssssssssssG",
                "WsssssssssssG",
                "WGGGGGGGGGGGG"})},
        {"lowered, off", 7, 6, btLowered, 2, false, 0x000000,
         Lines({"GGGGGGW",
                "GsssssW",
                "GsgggsW",
                "GsgggsW",
                "GsssssW",
                "GWWWWWW"})},
        {"no border", 7, 6, btNone, 2, true, 0x000000,
         Lines({"sssssss",
                "sssssss",
                "ssLLLss",
                "ssLLLss",
                "sssssss",
                "sssssss"})},
        {"single line", 7, 6, btSingle, 1, true, 0x0000FF,
         Lines({"rrrrrrr",
                "rLLLLLr",
                "rLLLLLr",
                "rLLLLLr",
                "rLLLLLr",
                "rrrrrrr"})},
        {"margin 0, raised edge over the lamp", 7, 6, btRaised, 0, true, 0x000000,
         Lines({"WWWWWWG",
                "WLLLLLG",
                "WLLLLLG",
                "WLLLLLG",
                "WLLLLLG",
                "WGGGGGG"})},
        {"margin 0, single line under the lamp", 7, 6, btSingle, 0, true, 0x000000,
         Lines({"LLLLLLL",
                "LLLLLLL",
                "LLLLLLL",
                "LLLLLLL",
                "LLLLLLL",
                "LLLLLLL"})},
        {"most negative margin: lamp everywhere", 7, 6, btRaised, std::numeric_limits<int>::min(), true, 0x000000,
         Lines({"WWWWWWG",
                "WLLLLLG",
                "WLLLLLG",
                "WLLLLLG",
                "WLLLLLG",
                "WGGGGGG"})},
        {"largest margin: no lamp", 7, 6, btRaised, std::numeric_limits<int>::max(), true, 0x000000,
         Lines({"WWWWWWG",
                "WsssssG",
                "WsssssG",
                "WsssssG",
                "WsssssG",
                "WGGGGGG"})},
        {"margin too large: no lamp", 7, 6, btRaised, 3, true, 0x000000,
         Lines({"WWWWWWG",
                "WsssssG",
                "WsssssG",
                "WsssssG",
                "WsssssG",
                "WGGGGGG"})},
    };
    for (const PictureCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TLedIndicator led;
        led.SetBounds(0, 0, c.Width, c.Height);
        led.SetBorder(c.Border);
        led.SetBorderMargin(c.Margin);
        led.SetBorderColor(c.BorderColor);
        led.SetLedOn(c.On);
        led.Paint();
        EXPECT_EQ(Picture(led.Buffer()), c.Expected);
    }
}

TEST(LedIndicator, DefaultsMatchTheWindowsLamps)
{
    TLedIndicator led;
    EXPECT_EQ(led.size(), QSize(13, 13));
    EXPECT_EQ(led.Buffer().size(), QSize(13, 13));
    EXPECT_EQ(led.Border(), btRaised);
    EXPECT_EQ(led.BorderMargin(), 3);
    EXPECT_EQ(led.BGColor(), 0xC0C0C0u);
    EXPECT_EQ(led.BorderColor(), 0x000000u);
    EXPECT_EQ(led.LedOnColor(), 0x00FF00u);
    EXPECT_EQ(led.LedOffColor(), 0x008000u);
    EXPECT_FALSE(led.LedOn());
    EXPECT_EQ(led.RenderCount(), 0) << "the constructor sets its fields without painting";
}

TEST(LedIndicator, WritingAPropertyRedrawsOnlyWhenTheValueChanges)
{
    struct PropertyCase {
        const char* Name;
        std::function<void(TLedIndicator&)> WriteCurrent;
        std::function<void(TLedIndicator&)> WriteOther;
        std::function<bool(const TLedIndicator&)> HoldsOther;
    };
    const PropertyCase cases[] = {
        {"BGColor", [](auto& l) { l.SetBGColor(l.BGColor()); }, [](auto& l) { l.SetBGColor(0x123456); },
         [](const auto& l) { return l.BGColor() == 0x123456u; }},
        {"BorderColor", [](auto& l) { l.SetBorderColor(l.BorderColor()); }, [](auto& l) { l.SetBorderColor(0xFF); },
         [](const auto& l) { return l.BorderColor() == 0xFFu; }},
        {"LedOnColor", [](auto& l) { l.SetLedOnColor(l.LedOnColor()); }, [](auto& l) { l.SetLedOnColor(0xFF0000); },
         [](const auto& l) { return l.LedOnColor() == 0xFF0000u; }},
        {"LedOffColor", [](auto& l) { l.SetLedOffColor(l.LedOffColor()); }, [](auto& l) { l.SetLedOffColor(0x004000); },
         [](const auto& l) { return l.LedOffColor() == 0x004000u; }},
        {"Border", [](auto& l) { l.SetBorder(l.Border()); }, [](auto& l) { l.SetBorder(btSingle); },
         [](const auto& l) { return l.Border() == btSingle; }},
        {"BorderMargin", [](auto& l) { l.SetBorderMargin(l.BorderMargin()); }, [](auto& l) { l.SetBorderMargin(1); },
         [](const auto& l) { return l.BorderMargin() == 1; }},
        {"LedOn", [](auto& l) { l.SetLedOn(l.LedOn()); }, [](auto& l) { l.SetLedOn(true); },
         [](const auto& l) { return l.LedOn(); }},
    };
    for (const PropertyCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TLedIndicator led;
        c.WriteCurrent(led);
        EXPECT_EQ(led.RenderCount(), 0);
        c.WriteOther(led);
        EXPECT_TRUE(c.HoldsOther(led));
        EXPECT_EQ(led.RenderCount(), 1);
        c.WriteOther(led);
        EXPECT_EQ(led.RenderCount(), 1);
    }
}

TEST(LedIndicator, PropertyChangeReachesTheScreenInsideTheSetter)
{
    QWidget window;
    auto* led = new TLedIndicator(&window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    PaintCounter counter;
    led->installEventFilter(&counter);
    led->SetLedOn(true);
    EXPECT_GE(counter.Paints, 1) << "painted synchronously, before any event loop ran";
    const int painted = counter.Paints;
    led->SetLedOn(true);
    EXPECT_EQ(counter.Paints, painted);
    EXPECT_EQ(led->grab().toImage().pixel(6, 6), TColorToQRgb(0x00FF00));
}

TEST(LedIndicator, BufferFollowsEveryResize)
{
    TLedIndicator led;
    led.SetBounds(5, 6, 20, 10);
    EXPECT_EQ(led.geometry(), QRect(5, 6, 20, 10));
    EXPECT_EQ(led.Buffer().size(), QSize(20, 10)) << "at once, even while hidden";
    led.SetLedOn(true);
    const QImage& picture = led.Buffer();
    EXPECT_EQ(picture.pixel(18, 0), TColorToQRgb(0xFFFFFF));
    EXPECT_EQ(picture.pixel(19, 0), TColorToQRgb(0x808080));
    EXPECT_EQ(picture.pixel(0, 9), TColorToQRgb(0xFFFFFF));
    EXPECT_EQ(picture.pixel(19, 9), TColorToQRgb(0x808080));
    EXPECT_EQ(picture.pixel(3, 3), TColorToQRgb(0x00FF00));
    EXPECT_EQ(picture.pixel(16, 6), TColorToQRgb(0x00FF00));
    EXPECT_EQ(picture.pixel(17, 6), TColorToQRgb(0xC0C0C0));

    // A plain Qt resize of a shown lamp: the next picture covers the new size.
    QWidget window;
    auto* shownLed = new TLedIndicator(&window);
    shownLed->SetLedOn(true);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    shownLed->resize(30, 16);
    const QImage shown = shownLed->grab().toImage();
    EXPECT_EQ(shownLed->Buffer().size(), QSize(30, 16));
    EXPECT_EQ(shown.pixel(29, 15), TColorToQRgb(0x808080));
    EXPECT_EQ(shown.pixel(26, 12), TColorToQRgb(0x00FF00));
    EXPECT_EQ(shown.pixel(27, 12), TColorToQRgb(0xC0C0C0));
}

TEST(LedIndicator, PropertiesWrittenWithoutParentAreKeptAndShownLater)
{
    auto led = std::make_unique<TLedIndicator>();
    led->SetLedOnColor(0x0000FF);
    led->SetLedOn(true);
    EXPECT_TRUE(led->LedOn());
    EXPECT_EQ(led->LedOnColor(), 0x0000FFu);

    QWidget window;
    TLedIndicator* placed = led.release();
    placed->setParent(&window);
    placed->show();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(placed->grab().toImage().pixel(6, 6), TColorToQRgb(0x0000FF));
}

TEST(LedIndicator, LeftClickCallsOnClick)
{
    QWidget window;
    auto* led = new TLedIndicator(&window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    std::vector<TLedIndicator*> clicks;
    led->OnClick = [&](TLedIndicator* sender) { clicks.push_back(sender); };

    QTest::mouseClick(led, Qt::LeftButton, {}, {6, 6});
    QTest::mouseClick(led, Qt::RightButton, {}, {6, 6});
    QTest::mousePress(led, Qt::LeftButton, {}, {6, 6});
    QTest::mouseRelease(led, Qt::LeftButton, {}, {40, 40});
    EXPECT_EQ(clicks, std::vector<TLedIndicator*>{led}) << "right clicks and releases outside are not clicks";
}
