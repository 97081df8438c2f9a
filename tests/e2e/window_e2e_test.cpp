// SPDX-License-Identifier: GPL-3.0-or-later
// The window and its two ports in the test's own process, on the real
// backend and a JACK server: input that is not what a well-behaved device
// sends, and devices that go away under an open port.
#include "app/widgets/led_indicator.h"
#include "private_jack_server.h"
#include "window_on_jack.h"

#include <QTimer>

#include <algorithm>

namespace {

TEST_F(WindowOnJack, MalformedInputLosesNoMessageAroundIt)
{
    probe = std::make_unique<JackProbe>("keyboard");
    Start();
    const TTransferTable& t = form->TransferTable;
    std::vector<Bytes> expected;
    const auto send = [&](const Bytes& event) {
        probe->send(event);
        QTest::qWait(1); // a few events per period, handled as they come
        probe->waitForEvents(0, 0ms);
    };
    const auto note = [&](std::uint8_t key, std::uint8_t velocity) {
        send({0x90, key, velocity});
        // A played note never leaves silenced.
        expected.push_back({0x90, key, velocity > 0 && t[velocity] == 0 ? std::uint8_t{1} : t[velocity]});
    };

    // A system-exclusive message in JACK pieces with timing clocks between
    // them: the clocks come out first.
    note(60, 100);
    Bytes sysex(24000);
    for (std::size_t i = 0; i < sysex.size(); ++i)
        sysex[i] = static_cast<std::uint8_t>((i * 31 + i / 1000) % 128); // no two pieces alike
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    for (std::size_t offset = 0; offset < sysex.size(); offset += 20000) {
        send(Bytes(sysex.begin() + offset, sysex.begin() + std::min(offset + 20000, sysex.size())));
        if (offset + 20000 < sysex.size()) {
            send({0xF8});
            expected.push_back({0xF8});
        }
    }
    expected.push_back(sysex);
    note(61, 90);

    // Data bytes without a status byte go nowhere.
    send({0x3C, 0x64});
    send({0x40});
    note(62, 80);

    // A piece that never gets its end: the notes after it still pass.
    send({0xF0, 1, 2, 3});
    expected.push_back({0xF0, 1, 2, 3});
    note(63, 70);
    send({0x80, 63, 0});
    expected.push_back({0x80, 63, t[0]});
    send({0xF0, 4, 0xF7});
    expected.push_back({0xF0, 4, 0xF7});

    // Floods of active sensing (dropped) and timing clocks (forwarded).
    for (int i = 0; i < 2000; ++i) {
        send({0xFE});
        if (i % 4 == 0) {
            send({0xF8});
            expected.push_back({0xF8});
        }
        if (i % 100 == 0)
            note(static_cast<std::uint8_t>(64 + i / 100), static_cast<std::uint8_t>(1 + i / 100));
    }

    std::vector<Bytes> received;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            probe->waitForEvents(0, 0ms);
            received = Messages(probe->events(), heard);
            return received.size() >= expected.size();
        },
        20000));
    ASSERT_EQ(received.size(), expected.size()) << ReportedText();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto differs = std::mismatch(received[i].begin(), received[i].end(), expected[i].begin(),
                                           expected[i].end()).first;
        ASSERT_TRUE(received[i] == expected[i])
            << "message " << i << " of " << expected.size() << ": " << received[i].size() << " bytes, "
            << expected[i].size() << " expected, first difference at byte " << differs - received[i].begin()
            << ReportedText();
    }
    EXPECT_FALSE(form->LedMidiErr->LedOn());
    EXPECT_TRUE(reported.isEmpty()) << ReportedText();
}

// A message that arrives while the input's opening waits, before the output
// is open, is lost, counted and shown on the error lamp, without a box; the
// input shows open all the same.
TEST_F(WindowOnJack, InputDuringTheStartUpWaitIsLostAndTheInputShowsOpen)
{
    probe = std::make_unique<JackProbe>("keyboard");
    bool injected = false;
    bool inputWasOpen = false;
    bool outputWasOpen = true;
    QTimer::singleShot(50, [&] {
        inputWasOpen = probe->waitForOutputConnected(0ms);
        outputWasOpen = probe->waitForInputConnected(0ms);
        probe->send({0xF8});
        injected = true;
    });
    Start();
    ASSERT_TRUE(injected);
    ASSERT_TRUE(inputWasOpen);
    ASSERT_FALSE(outputWasOpen);

    EXPECT_TRUE(reported.isEmpty()) << ReportedText();
    EXPECT_EQ(form->shMidiIn->BrushColor(), Lime);
    EXPECT_EQ(form->shMidiIn->toolTip(), "Port MidiIn ouvert");
    EXPECT_EQ(form->shMidiOut->BrushColor(), Lime);
    // Only the test note came out: the clock, with no output yet, is lost.
    ASSERT_EQ(probe->events().size(), 2u);
    EXPECT_EQ(probe->events()[0].bytes, (Bytes{0x90, 0x3F, 0x64}));
    EXPECT_EQ(probe->events()[1].bytes, (Bytes{0x80, 0x3F, 0x64}));
    EXPECT_EQ(routing->Traffic().Lost, 1u);
    EXPECT_TRUE(form->LedMidiErr->LedOn());
    EXPECT_EQ(RoundTrip(100), Mapped(100));
    EXPECT_TRUE(reported.isEmpty()) << ReportedText();
}

TEST_F(WindowOnJack, ADeviceWhosePortsGoAwayIsConnectedAgainWhenItIsBack)
{
    probe = std::make_unique<JackProbe>("keyboard");
    Start();
    ASSERT_EQ(RoundTrip(100), Mapped(100));

    probe.reset(); // the device leaves while both ports are open on it
    ExpectTheWindowToKeepAnswering(200ms);

    ExpectTheDeviceToBeConnectedAgain();
}

TEST_F(WindowOnJack, AServerKilledWhileForwardingLeavesTheWindowAnsweringAndItsDevicesConnectedAgainWhenItIsBack)
{
    PrivateJackServer server;
    probe = std::make_unique<JackProbe>("keyboard");
    Start();
    ASSERT_EQ(RoundTrip(100), Mapped(100));

    for (int i = 0; i < 50; ++i) {
        probe->send({0x90, 0x3C, static_cast<std::uint8_t>(1 + i)});
        QTest::qWait(1);
    }
    server.kill();
    probe.reset();
    ExpectTheWindowToKeepAnswering(700ms);

    server.start();
    ExpectTheDeviceToBeConnectedAgain();
    Stop(); // before the server goes
}

} // namespace
