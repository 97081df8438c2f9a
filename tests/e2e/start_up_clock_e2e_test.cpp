// SPDX-License-Identifier: GPL-3.0-or-later
// A device that plays all along while the window starts: a running timing
// clock reaches the input while its ports are being opened.
#include "app/widgets/led_indicator.h"
#include "wait_until.h"
#include "window_on_jack.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

// Sends a timing clock every few milliseconds from its own thread, from
// construction to destruction, as a running sequencer does.
class RunningClock {
public:
    explicit RunningClock(JackProbe& probe)
        : thread([this, &probe] {
            while (!stop.load(std::memory_order_relaxed)) {
                probe.send({0xF8});
                std::this_thread::sleep_for(3ms);
            }
        })
    {
    }
    ~RunningClock()
    {
        stop.store(true, std::memory_order_relaxed);
        thread.join();
    }
    RunningClock(const RunningClock&) = delete;
    RunningClock& operator=(const RunningClock&) = delete;

private:
    std::atomic<bool> stop{false};
    std::thread thread;
};

std::size_t Clocks(const std::vector<JackProbe::Event>& events)
{
    return static_cast<std::size_t>(
        std::count_if(events.begin(), events.end(), [](const JackProbe::Event& e) { return e.bytes == Bytes{0xF8}; }));
}

TEST_F(WindowOnJack, AClockRunningThroughTheStartUpLeavesBothPortsShownOpenAndIsForwarded)
{
    probe = std::make_unique<JackProbe>("keyboard");
    const RunningClock clock(*probe);
    // The clock plays before the window starts.
    ASSERT_TRUE(WaitUntil(
        [&] {
            probe->collect();
            return probe->queuedFrames().size() >= 3;
        },
        10s));

    StartWithMidi();
    EXPECT_EQ(form->shMidiIn->BrushColor(), Lime);
    EXPECT_EQ(form->shMidiIn->toolTip(), "Port MidiIn ouvert");
    EXPECT_EQ(form->shMidiOut->BrushColor(), Lime);
    EXPECT_EQ(form->shMidiOut->toolTip(), "Port MidiOut ouvert");
    EXPECT_TRUE(reported.isEmpty()) << ReportedText();

    // The clocks that come from now on are forwarded, the test note with them.
    probe->collect();
    const std::size_t before = Clocks(probe->events());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            probe->collect();
            return Clocks(probe->events()) >= before + 10;
        },
        10000));
    const std::vector<JackProbe::Event>& events = probe->events();
    EXPECT_TRUE(std::any_of(events.begin(), events.end(),
                            [](const JackProbe::Event& e) { return e.bytes == Bytes{0x90, 0x3F, 0x64}; }));
    EXPECT_TRUE(reported.isEmpty()) << ReportedText();
}

} // namespace
