// SPDX-License-Identifier: GPL-3.0-or-later
// Thru routes between two backends: the keyboard on one virtual backend, the
// synth on another behind a composite backend, as a JACK input feeds an ALSA
// output. The input's driver thread only hands the messages over; a sending
// thread of the output sends them. A route within one backend sends on the
// driver thread as before.
#include "platform/midi/backends/composite_midi_backend.h"
#include "platform/midi/route_hand_over.h"
#include "platform/midi/virtual_services_fixture.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <thread>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Threads of this process now.
std::size_t threadCount()
{
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return static_cast<std::size_t>(std::distance(begin(tasks), end(tasks)));
}

class MixedBackendRouteTest : public VirtualServicesTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        VirtualServicesTest::SetUp();
        // `backend` holds the keyboard; the synth is on `synthSide`, which is
        // `backend` itself for a route within one backend.
        if (twoBackends()) {
            other = std::make_shared<VirtualMidiBackend>();
            SetMidiBackend(std::make_shared<CompositeMidiBackend>(
                std::vector<std::shared_ptr<MidiBackend>>{backend, other}));
        }
        backend->addInput(named("Keys"));
        synthSide().addOutput(named("Synth"));
        in = openInput();
        out = openOutput();
        ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
        std::array<std::uint8_t, 128> reversed{};
        for (std::size_t i = 0; i < reversed.size(); ++i)
            reversed[i] = static_cast<std::uint8_t>(127 - i);
        publishThruTable(map, reversed);
        recorder.clear();
    }

    bool twoBackends() const { return GetParam(); }
    VirtualMidiBackend& synthSide() { return other ? *other : *backend; }

    void Play(const std::vector<Bytes>& messages)
    {
        for (const Bytes& message : messages)
            backend->injectBytes(0, message);
        backend->waitIdle();
    }

    // Ends the route; what was handed over has left by then.
    void Disconnect() { ASSERT_EQ(midiDisconnect(in, out), MMSYSERR_NOERROR); }

    std::vector<ThruOutcome> ShortOutcomes() const
    {
        std::vector<ThruOutcome> outcomes;
        for (const RecordedCall& call : recorder.calls(MIM_DATA))
            outcomes.push_back(thruOutcomeOf(call.param1));
        return outcomes;
    }

    std::shared_ptr<VirtualMidiBackend> other;
    ThruMap map;
    HMIDIIN in = 0;
    HMIDIOUT out = 0;
};

std::string Staging(const ::testing::TestParamInfo<bool>& info)
{
    return info.param ? "TwoBackends" : "OneBackend";
}

INSTANTIATE_TEST_SUITE_P(Routes, MixedBackendRouteTest, ::testing::Bool(), Staging);

TEST_P(MixedBackendRouteTest, ABurstLeavesMappedAndInOrderOnTheThreadItsBackendsCallFor)
{
    ASSERT_EQ(midiConnect(in, out, &map), MMSYSERR_NOERROR);
    constexpr int Count = 2000;
    // The driver's thread forwards channel 1 while the main thread sends channel 2.
    for (int i = 0; i < Count; ++i)
        backend->injectShort(0, 0x90 | (static_cast<DWORD>(i % 128) << 8) | (64u << 16));
    for (int i = 0; i < Count; ++i)
        ASSERT_EQ(midiOutShortMsg(out, 0x91 | (static_cast<DWORD>(i % 128) << 8) | (5u << 16)), MMSYSERR_NOERROR);
    backend->waitIdle();
    Disconnect();

    const auto sent = synthSide().sentMessages(0);
    const auto threads = synthSide().sendThreads(0);
    ASSERT_EQ(sent.size(), threads.size());
    const std::thread::id driver = backend->driverThread();
    const std::thread::id main = std::this_thread::get_id();
    int next[2] = {0, 0};
    for (std::size_t i = 0; i < sent.size(); ++i) {
        const Bytes& message = sent[i];
        const int from = message[0] & 1;
        ASSERT_EQ(message[1], next[from] % 128) << "message " << i;
        EXPECT_EQ(message[2], from ? 5 : 63);
        ++next[from];
        if (from == 1)
            continue;
        // A routed message: on the driver's thread within one backend (or on
        // the main thread, when it was the sender), never on the driver's
        // thread across two.
        if (twoBackends())
            EXPECT_NE(threads[i], driver) << "routed message " << next[0];
        else
            EXPECT_TRUE(threads[i] == driver || threads[i] == main) << "routed message " << next[0];
    }
    EXPECT_EQ(next[0], Count);
    EXPECT_EQ(next[1], Count);
    EXPECT_EQ(ShortOutcomes(), std::vector<ThruOutcome>(Count, ThruSent));
    EXPECT_EQ(map.sent.load(), static_cast<std::uint64_t>(Count));
    EXPECT_EQ(map.lost.load(), 0u);
}

TEST_P(MixedBackendRouteTest, ASystemExclusiveMessageInPiecesPassesWholeWithItsClockInPlace)
{
    ASSERT_EQ(midiConnect(in, out, &map), MMSYSERR_NOERROR);
    // Pieces as JACK delivers a long message; stray data bytes after its
    // end stay out, and so do those after a message that a status byte
    // ended early, which itself leaves as it came.
    Play({{0xF0, 0x7E, 0x7F}, {0x06, 0x01}, {0xF8}, {0x11, 0x22, 0x33, 0x44}, {0x55, 0xF7}, {0x12, 0x34},
          {0xF0, 0x01, 0x02}, {0x90, 60, 100}, {0x12, 0x34}});
    Disconnect();
    EXPECT_EQ(synthSide().sentMessages(0), (std::vector<Bytes>{{0xF0, 0x7E, 0x7F},
                                                                 {0x06, 0x01},
                                                                 {0xF8},
                                                                 {0x11, 0x22, 0x33, 0x44},
                                                                 {0x55, 0xF7},
                                                                 {0xF0, 0x01, 0x02},
                                                                 {0x90, 60, 27}}));
    EXPECT_EQ(synthSide().sentBytes(0), (Bytes{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF8, 0x11, 0x22, 0x33, 0x44, 0x55,
                                               0xF7, 0xF0, 0x01, 0x02, 0x90, 60, 27}));
    EXPECT_EQ(map.sent.load(), 7u);
}

TEST_P(MixedBackendRouteTest, DisconnectingOrClosingWhileMessagesFlowLeavesNothingSendingAfterwards)
{
    const std::size_t threadsBefore = threadCount();
    for (const bool close : {false, true}) {
        SCOPED_TRACE(close ? "output closed" : "route taken away");
        synthSide().clearSent(0);
        ASSERT_EQ(midiConnect(in, out, &map), MMSYSERR_NOERROR);
        for (int i = 0; i < 3000; ++i)
            backend->injectShort(0, 0x90 | (static_cast<DWORD>(i % 128) << 8) | (100u << 16));
        if (close) {
            ASSERT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
            openOutputs.clear();
        } else {
            Disconnect();
        }
        const std::size_t sentThen = synthSide().sentMessages(0).size();
        backend->waitIdle();
        EXPECT_EQ(synthSide().sentMessages(0).size(), sentThen) << "a send came after the route ended";
        EXPECT_EQ(threadCount(), threadsBefore) << "a sending thread was left behind";
    }
    EXPECT_FALSE(synthSide().isOutputOpen(0));
}

// Only a route across two backends has a hand-over queue to fill.
class HandOverTest : public MixedBackendRouteTest {};
INSTANTIATE_TEST_SUITE_P(Routes, HandOverTest, ::testing::Values(true), Staging);

TEST_P(HandOverTest, WhatFindsTheQueueFullIsCountedLost)
{
    ASSERT_EQ(midiConnect(in, out, &map), MMSYSERR_NOERROR);
    synthSide().refuseSendsFrom(0, backend->driverThread());
    // The synth takes nothing for now: two long messages fill the queue but
    // for a little room, which a few notes take up.
    synthSide().holdSends(0, true);
    Bytes first(RouteHandOver::QueueBytes * 3 / 5, 0x11);
    Bytes second(RouteHandOver::QueueBytes * 2 / 5 - 256, 0x22);
    for (Bytes* sysex : {&first, &second}) {
        sysex->front() = 0xF0;
        sysex->back() = 0xF7;
    }
    constexpr int Notes = 200;
    std::vector<Bytes> played{first, second};
    for (int i = 0; i < Notes; ++i)
        played.push_back({0x90, static_cast<std::uint8_t>(i % 128), 100});
    Play(played);
    synthSide().holdSends(0, false);
    Disconnect();

    const auto outcomes = ShortOutcomes();
    ASSERT_EQ(outcomes.size(), static_cast<std::size_t>(Notes));
    const auto firstLost = std::find(outcomes.begin(), outcomes.end(), ThruLost);
    const auto handedOver = static_cast<std::size_t>(firstLost - outcomes.begin());
    EXPECT_GT(handedOver, 0u) << "the room left took no note";
    ASSERT_LT(handedOver, outcomes.size()) << "the queue never filled";
    EXPECT_TRUE(std::all_of(outcomes.begin(), firstLost, [](ThruOutcome o) { return o == ThruSent; }));
    EXPECT_TRUE(std::all_of(firstLost, outcomes.end(), [](ThruOutcome o) { return o == ThruLost; }));
    EXPECT_EQ(map.lost.load(), outcomes.size() - handedOver);
    EXPECT_TRUE(recorder.calls(MIM_THRULOST).empty()) << "nothing handed over was refused";

    // What was handed over left whole and in order once the synth took it.
    std::vector<Bytes> expected{first, second};
    for (std::size_t i = 0; i < handedOver; ++i)
        expected.push_back({0x90, static_cast<std::uint8_t>(i % 128), 27});
    EXPECT_TRUE(synthSide().sentMessages(0) == expected);
}

TEST_P(HandOverTest, WhatTheOutputRefusesAfterTheHandOverIsReportedLost)
{
    ASSERT_EQ(midiConnect(in, out, &map), MMSYSERR_NOERROR);
    synthSide().setShortSendError(0, MIDIERR_NOTREADY);
    Play({{0x90, 60, 100}, {0x80, 60, 0}, {0xB0, 7, 80}});
    Disconnect();
    // Handed over: sent as far as the driver's thread knows; the losses come after.
    EXPECT_EQ(ShortOutcomes(), std::vector<ThruOutcome>(3, ThruSent));
    EXPECT_EQ(recorder.calls(MIM_THRULOST).size(), 3u);
    EXPECT_EQ(map.lost.load(), 3u);
    EXPECT_TRUE(synthSide().sentMessages(0).empty());
    EXPECT_EQ(synthSide().sendThreads(0).size(), 3u);
}

} // namespace
