// SPDX-License-Identifier: GPL-3.0-or-later
// Thru routes through the MIDI services: the driver's thread sends each
// message on at once, through the published map, and the input's callback
// still hears every message with what the route did with it.
#include "platform/midi/virtual_services_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class ThruRouteTest : public VirtualServicesTest {
protected:
    void SetUp() override
    {
        VirtualServicesTest::SetUp();
        backend->addInput(named("Keys"));
        backend->addOutput(named("Synth"));
        in = openInput();
        out = openOutput();
        ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
        std::array<std::uint8_t, 128> reversed{};
        for (std::size_t i = 0; i < reversed.size(); ++i)
            reversed[i] = static_cast<std::uint8_t>(127 - i);
        publishThruTable(map, reversed);
        recorder.clear();
    }

    // Injects each message and waits until the driver has delivered it; the
    // main thread handles nothing meanwhile.
    void Play(const std::vector<Bytes>& messages)
    {
        for (const Bytes& message : messages)
            backend->injectBytes(0, message);
        backend->waitIdle();
    }

    // The outcome that the callback heard with each short message, in order.
    std::vector<ThruOutcome> ShortOutcomes() const
    {
        std::vector<ThruOutcome> outcomes;
        for (const RecordedCall& call : recorder.calls(MIM_DATA))
            outcomes.push_back(thruOutcomeOf(call.param1));
        return outcomes;
    }

    ThruMap map;
    HMIDIIN in = 0;
    HMIDIOUT out = 0;
};

TEST_F(ThruRouteTest, EveryMessageLeavesFromTheDriversThreadWithItsSecondDataByteMapped)
{
    ASSERT_EQ(midiConnect(in, out, &map), MMSYSERR_NOERROR);
    const Bytes sysex{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    Play({{0x90, 60, 100}, {0x80, 60, 0}, {0xB0, 7, 80}, {0xE0, 0x10, 0x40}, {0xA0, 60, 52}, {0xF2, 1, 2},
          {0xC0, 5}, {0xD0, 64}, {0xF8}, sysex});
    EXPECT_EQ(backend->sentMessages(0), (std::vector<Bytes>{{0x90, 60, 27}, {0x80, 60, 127}, {0xB0, 7, 47},
                                                             {0xE0, 0x10, 0x3F}, {0xA0, 60, 75}, {0xF2, 1, 125},
                                                             {0xC0, 5}, {0xD0, 64}, {0xF8}, sysex}));
    // The callback heard every message as it came, marked as sent.
    const auto calls = recorder.calls(MIM_DATA);
    ASSERT_EQ(calls.size(), 9u);
    EXPECT_EQ(calls.front().param1 & 0xFFFFFF, 0x643C90u);
    EXPECT_EQ(ShortOutcomes(), std::vector<ThruOutcome>(9, ThruSent));
    const auto long_ = recorder.calls(MIM_LONGDATA);
    EXPECT_TRUE(long_.empty()) << "no buffer lent: the window's copy is lost, the message is not";
}

TEST_F(ThruRouteTest, TheMapIsReadAtEveryMessage)
{
    ASSERT_EQ(midiConnect(in, out, &map), MMSYSERR_NOERROR);
    Play({{0x90, 60, 100}});
    std::array<std::uint8_t, 128> identity{};
    for (std::size_t i = 0; i < identity.size(); ++i)
        identity[i] = static_cast<std::uint8_t>(i);
    publishThruTable(map, identity);
    map.dropActiveSensing.store(true);
    Play({{0x90, 60, 100}, {0xFE}, {0xF8}});
    map.held.store(true);
    Play({{0x90, 61, 100}, {0xF0, 1, 0xF7}});
    map.held.store(false);
    map.dropTimingClock.store(true);
    Play({{0xF8}, {0x90, 62, 100}});

    EXPECT_EQ(backend->sentMessages(0),
              (std::vector<Bytes>{{0x90, 60, 27}, {0x90, 60, 100}, {0xF8}, {0x90, 62, 100}}));
    EXPECT_EQ(ShortOutcomes(), (std::vector<ThruOutcome>{ThruSent, ThruSent, ThruDropped, ThruSent, ThruHeld,
                                                         ThruDropped, ThruSent}));
}

TEST_F(ThruRouteTest, WhatTheClientWouldRefuseIsNotSentEither)
{
    ASSERT_EQ(midiConnect(in, out, &map), MMSYSERR_NOERROR);
    // A system-exclusive message that a status byte ended early leaves as it came.
    Play({{0x3C, 0x64}, {0x90, 0x3C}, {0x90, 0x3C, 0x64, 0x01}, {0xF0, 1, 2, 3}, {0x90, 61, 100}});
    EXPECT_EQ(backend->sentMessages(0), (std::vector<Bytes>{{0xF0, 1, 2, 3}, {0x90, 61, 27}}));
    EXPECT_EQ(recorder.calls(MIM_ERROR).size(), 3u);
}

TEST_F(ThruRouteTest, ARefusedSendIsReportedWithItsCodeAndAFullOutputAsLost)
{
    ASSERT_EQ(midiConnect(in, out, &map), MMSYSERR_NOERROR);
    backend->setShortSendError(0, MIDIERR_NOTREADY);
    Play({{0x90, 60, 100}});
    backend->setShortSendError(0, MIDIERR_SENDQUEUEFULL);
    Play({{0x90, 60, 100}});
    EXPECT_EQ(ShortOutcomes(), (std::vector<ThruOutcome>{thruFailed(MIDIERR_NOTREADY), ThruLost}));
    EXPECT_TRUE(backend->sentMessages(0).empty());
}

TEST_F(ThruRouteTest, OneRoutePerDeviceAndNoneOnceDisconnectedOrClosed)
{
    backend->addInput(named("Pads"));
    const HMIDIIN pads = openInput(1);
    EXPECT_EQ(midiConnect(in, out, nullptr), MMSYSERR_INVALPARAM);
    EXPECT_EQ(midiConnect(in, 0, &map), MMSYSERR_INVALHANDLE);
    ASSERT_EQ(midiConnect(in, out, &map), MMSYSERR_NOERROR);
    EXPECT_EQ(midiConnect(in, out, &map), MMSYSERR_ALLOCATED);
    EXPECT_EQ(midiConnect(pads, out, &map), MMSYSERR_ALLOCATED);
    EXPECT_EQ(midiDisconnect(pads, out), MMSYSERR_INVALPARAM);

    EXPECT_EQ(midiDisconnect(in, out), MMSYSERR_NOERROR);
    Play({{0x90, 60, 100}});
    EXPECT_TRUE(backend->sentMessages(0).empty());
    EXPECT_EQ(ShortOutcomes(), std::vector<ThruOutcome>{ThruNone});

    // Closing the output ends the route that feeds it.
    ASSERT_EQ(midiConnect(in, out, &map), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    openOutputs.clear();
    recorder.clear();
    Play({{0x90, 60, 100}});
    EXPECT_EQ(ShortOutcomes(), std::vector<ThruOutcome>{ThruNone});
    EXPECT_TRUE(backend->sentMessages(0).empty());
}

TEST_F(ThruRouteTest, TheMainThreadsSendsJoinTheRoutedMessagesInOrder)
{
    ASSERT_EQ(midiConnect(in, out, &map), MMSYSERR_NOERROR);
    constexpr int Count = 3000;
    // The driver's thread forwards channel 1 while the main thread sends channel 2.
    for (int i = 0; i < Count; ++i)
        backend->injectShort(0, 0x90 | (static_cast<DWORD>(i % 128) << 8) | (64u << 16));
    for (int i = 0; i < Count; ++i)
        ASSERT_EQ(midiOutShortMsg(out, 0x91 | (static_cast<DWORD>(i % 128) << 8) | (5u << 16)), MMSYSERR_NOERROR);
    backend->waitIdle();

    int next[2] = {0, 0};
    for (const Bytes& message : backend->sentMessages(0)) {
        const int from = message[0] & 1;
        EXPECT_EQ(message[1], next[from] % 128);
        EXPECT_EQ(message[2], from ? 5 : 63);
        ++next[from];
    }
    EXPECT_EQ(next[0], Count);
    EXPECT_EQ(next[1], Count);
}

} // namespace
