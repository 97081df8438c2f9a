// SPDX-License-Identifier: GPL-3.0-or-later
// The input and output ports on the real RtMidi backend against a private
// JACK server, exchanging messages with a probe client of our own.

#include "jack_probe.h"

#include "midi/midi_input.h"
#include "midi/midi_output.h"
#include "platform/midi/midi_services.h"

#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

class PortsOnJackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("JACK_DEFAULT_SERVER"))
            GTEST_SKIP() << "needs the private JACK server of the test fixture";
        SetMidiBackend(nullptr);
        probe = std::make_unique<JackProbe>("probe");
    }

    std::unique_ptr<JackProbe> probe;
};

// What a received event holds, as bytes on the wire.
Bytes wireBytes(const TMyMidiEvent& event)
{
    if (event.MidiMessage == 0xF0)
        return event.Sysex ? Bytes(event.Sysex.get(), event.Sysex.get() + event.SysexLength) : Bytes{};
    return {event.MidiMessage, event.Data1, event.Data2};
}

} // namespace

TEST_F(PortsOnJackTest, InputPortReceivesInOrderWithActiveSensingFiltered)
{
    TMidiInput port;
    // As the program configures its input.
    port.SetSysexBufferCount(16);
    port.SetSysexBufferSize(63999);
    port.SetFilteredMessages({msgActiveSensing});
    port.SetProductName(probe->outputPort());
    std::vector<Bytes> received;
    port.OnMidiInput = [&](TMidiIO*) {
        while (auto event = port.GetMidiEvent())
            received.push_back(wireBytes(*event));
    };
    port.OpenAndStart();
    ASSERT_TRUE(probe->waitForOutputConnected(10s));

    const Bytes sysex{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    probe->send({0x90, 0x3C, 0x64});
    probe->send(sysex);
    probe->send({0xFE});
    probe->send({0xF8});
    probe->send({0x80, 0x3C, 0x40});
    ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() >= 4; }, 10000)) << received.size();
    port.StopAndClose();

    const std::vector<Bytes> expected{{0x90, 0x3C, 0x64}, sysex, {0xF8, 0, 0}, {0x80, 0x3C, 0x40}};
    EXPECT_EQ(received, expected);
}

TEST_F(PortsOnJackTest, OutputPortSendsExactlyWhatItIsGiven)
{
    TMidiOutput port;
    port.SetProductName(probe->inputPort());
    int done = 0;
    port.OnMidiOutput = [&](TMidiIO*) { ++done; };
    ASSERT_TRUE(port.Open());
    ASSERT_TRUE(probe->waitForInputConnected(10s));

    Bytes sysex{0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
    const Bytes sysexAsSent = sysex;
    port.PutShort(0x90, 0x3C, 0x64);
    port.PutLong(sysex.data(), static_cast<std::uint16_t>(sysex.size()));
    std::fill(sysex.begin(), sysex.end(), 0x55); // the caller's bytes change at once
    port.NoteOn(17, 62, 90);
    port.ControllerChange(2, 7, 99);
    port.ChangeInstrument(3, gmiGunshot);
    port.ChannelAftertouch(4, 50);
    port.PutShort(0xF8, 0, 0);

    const std::vector<Bytes> expected{{0x90, 0x3C, 0x64}, sysexAsSent,  {0x91, 62, 90}, {0xB2, 7, 99},
                                      {0xC3, 127},        {0xD4, 50},   {0xF8}};
    ASSERT_TRUE(probe->waitForEvents(expected.size(), 10s)) << probe->events().size();
    std::vector<Bytes> received;
    for (const auto& event : probe->events())
        received.push_back(event.bytes);
    EXPECT_EQ(received, expected);

    ASSERT_TRUE(QTest::qWaitFor([&] { return done == 1; }, 10000));
    EXPECT_EQ(port.PendingLongMessages(), 0u);
    EXPECT_TRUE(port.Close());
}
