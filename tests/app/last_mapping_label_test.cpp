// SPDX-License-Identifier: GPL-3.0-or-later
// The last-mapping label under heavy traffic: its text is the last mapping at
// once, while its repaints are held to one per frame instead of one per
// message, and the last repaint shows the last mapping.
#include "app/main_window.h"
#include "app/widgets/led_indicator.h"
#include "support/window_fixture.h"

#include <QDeadlineTimer>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Records the text that each paint of a widget shows.
class PaintRecorder final : public QObject {
public:
    explicit PaintRecorder(QLabel* label) : label(label) { label->installEventFilter(this); }

    QStringList painted;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == label && event->type() == QEvent::Paint)
            painted << label->text();
        return false;
    }

private:
    QLabel* label;
};

class LastMappingLabel : public VirtualMidiWindowFixture {
protected:
    void SetUp() override
    {
        VirtualMidiWindowFixture::SetUp();
        StartWithOneOfEach();
    }
};

TEST_F(LastMappingLabel, SteadyTrafficRepaintsItOncePerFrameAtMostAndTheLastRepaintShowsTheLastMapping)
{
    ASSERT_TRUE(ShowWindow());
    // The test note's lamp goes out first: its timer is not this test's traffic.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->LedMidiOut->LedOn(); }, 5000));

    // Each end of a frame lets the label be painted once more.
    auto* frame = form->findChild<QTimer*>(QStringLiteral("LastMappingFrame"));
    ASSERT_NE(frame, nullptr);
    int frames = 0;
    QObject::connect(frame, &QTimer::timeout, [&] { ++frames; });

    PaintRecorder recorder(form->lblMidiLastMsg);
    // One message at a time, each handled in a pass of its own through the
    // event loop, as under steady traffic.
    constexpr int Messages = 100;
    for (int i = 0; i < Messages; ++i) {
        backend->injectBytes(0, {0x90, static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(1 + i)});
        backend->waitIdle();
        QDeadlineTimer deadline(5000);
        while (backend->sentMessages(0).size() < std::size_t(i + 1) && !deadline.hasExpired())
            QCoreApplication::processEvents();
        ASSERT_EQ(backend->sentMessages(0).size(), std::size_t(i + 1));
        QCoreApplication::processEvents();
    }
    const QString lastMapping = QStringLiteral("In = %1 -> Out = %2").arg(Messages).arg(form->TransferTable[Messages]);
    EXPECT_EQ(form->lblMidiLastMsg->text(), lastMapping);

    // Once the traffic stops, the held text is painted within a frame.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !recorder.painted.isEmpty() && recorder.painted.last() == lastMapping; },
                                5000));
    EXPECT_TRUE(form->lblMidiLastMsg->updatesEnabled());
    // One paint when the traffic starts, then at most one a frame, however
    // fast the loop ran: far less than one a message unless each message
    // took a frame of its own.
    EXPECT_LE(recorder.painted.size(), frames + 1) << frames << " frames for " << Messages << " messages";
    EXPECT_TRUE(reported.isEmpty());
}

} // namespace
