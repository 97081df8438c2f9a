// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/clipboard_export.h"
#include "app/main_window.h"
#include "app/widgets/curve_chart.h"
#include "app/widgets/step_slider.h"
#include "support/chart_mouse.h"
#include "support/window_fixture.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QMimeData>
#include <gtest/gtest.h>

#include <memory>

namespace {

// The identity table (no point in use), as the clipboard receives it.
const char* const IdentityText =
    "000,001,002,003,004,005,006,007,\r\n"
    "008,009,010,011,012,013,014,015,\r\n"
    "016,017,018,019,020,021,022,023,\r\n"
    "024,025,026,027,028,029,030,031,\r\n"
    "032,033,034,035,036,037,038,039,\r\n"
    "040,041,042,043,044,045,046,047,\r\n"
    "048,049,050,051,052,053,054,055,\r\n"
    "056,057,058,059,060,061,062,063,\r\n"
    "064,065,066,067,068,069,070,071,\r\n"
    "072,073,074,075,076,077,078,079,\r\n"
    "080,081,082,083,084,085,086,087,\r\n"
    "088,089,090,091,092,093,094,095,\r\n"
    "096,097,098,099,100,101,102,103,\r\n"
    "104,105,106,107,108,109,110,111,\r\n"
    "112,113,114,115,116,117,118,119,\r\n"
    "120,121,122,123,124,125,126,127\r\n";

// The default curve: points (50, 20) and (80, 110), end point at 127.
const char* const DefaultCurveText =
    "000,000,000,001,001,002,002,002,\r\n"
    "003,003,004,004,004,005,005,006,\r\n"
    "006,006,007,007,008,008,008,009,\r\n"
    "009,010,010,010,011,011,012,012,\r\n"
    "012,013,013,014,014,014,015,015,\r\n"
    "016,016,016,017,017,018,018,018,\r\n"
    "019,019,020,020,023,026,029,032,\r\n"
    "035,038,041,044,047,051,054,057,\r\n"
    "060,063,066,069,072,075,078,082,\r\n"
    "085,088,091,094,097,100,103,106,\r\n"
    "110,110,110,110,111,111,111,112,\r\n"
    "112,112,113,113,114,114,114,115,\r\n"
    "115,115,116,116,117,117,117,118,\r\n"
    "118,118,119,119,119,120,120,121,\r\n"
    "121,121,122,122,122,123,123,124,\r\n"
    "124,124,125,125,125,126,126,127\r\n";

class MainWindowClipboardTest : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        StartWindow();
        ASSERT_TRUE(ShowWindow());
        clipboard = QGuiApplication::clipboard();
        ASSERT_NE(clipboard, nullptr);
        clipboard->setText(QStringLiteral("held before"));
    }

    QClipboard* clipboard = nullptr;
};

TEST_F(MainWindowClipboardTest, TheIdentityTableIsCopiedAsSixteenLinesOfEight)
{
    form->tbPtsCnt->SetPosition(0);
    const QString built = form->BuildCurveText();
    EXPECT_EQ(built.size(), 527);
    EXPECT_EQ(built, QString::fromLatin1(IdentityText).remove(QLatin1Char('\n')));

    form->ActGraphCopyAsText->trigger();
    EXPECT_EQ(clipboard->text(), QString::fromLatin1(IdentityText));
    EXPECT_EQ(clipboard->text().size(), 543);
    EXPECT_TRUE(reported.isEmpty());
}

TEST_F(MainWindowClipboardTest, TheDefaultCurveIsCopiedExactlyAndTheSameEachTime)
{
    for (int copy = 0; copy < 2; ++copy) {
        form->ActGraphCopyAsText->trigger();
        EXPECT_EQ(clipboard->text(), QString::fromLatin1(DefaultCurveText)) << copy;
    }
    // Copying changes nothing of the curve.
    EXPECT_FALSE(form->CurveModified);
}

TEST_F(MainWindowClipboardTest, TheChartIsCopiedAtItsSizeAsDrawnNow)
{
    form->ActGraphCopyAsBitmap->trigger();
    const QImage copied = clipboard->image();
    EXPECT_EQ(copied.size(), form->Chart1->size());
    EXPECT_EQ(copied.convertToFormat(QImage::Format_RGB32), form->Chart1->RenderToImage());
    EXPECT_TRUE(reported.isEmpty());
}

TEST_F(MainWindowClipboardTest, ACopyDuringADragShowsThePointWhereItIsThen)
{
    ChartMouse mouse(form->Chart1);
    mouse.Press(mouse.Pixel(80, 110));
    const auto at = mouse.PixelWithin(70.5, 60.5, 70.0, 71.0, 60.0, 61.0);
    ASSERT_TRUE(at);
    mouse.Move(*at);
    ASSERT_EQ(form->tbPtIn[1]->Position(), 70);

    form->ActGraphCopyAsBitmap->trigger();
    const QImage copied = clipboard->image();
    const QPoint marker = mouse.Pixel(form->tbPtIn[1]->Position(), form->tbPtOut[1]->Position());
    EXPECT_EQ(copied.pixelColor(marker), QColor(255, 255, 0));
    EXPECT_NE(copied.pixelColor(mouse.Pixel(80, 110)), QColor(255, 255, 0));
    EXPECT_TRUE(form->PointDragging);
}

TEST_F(MainWindowClipboardTest, TheCopyActionsAreOfferedInBothMenus)
{
    for (QAction* action : {form->ActGraphCopyAsBitmap, form->ActGraphCopyAsText}) {
        EXPECT_TRUE(action->isEnabled());
        EXPECT_TRUE(form->AdvPopupMenu1->actions().contains(action));
    }
}

TEST(ClipboardExportTest, WithoutAClipboardTheCopyFailsAndSaysWhy)
{
    auto data = std::make_unique<QMimeData>();
    data->setText(QStringLiteral("lost"));
    try {
        PlaceOnClipboard(nullptr, std::move(data));
        FAIL() << "no error";
    } catch (const EClipboardError& e) {
        EXPECT_STREQ(e.what(), "Impossible d'ouvrir le Presse-papiers : no clipboard is available");
    }
}

} // namespace
