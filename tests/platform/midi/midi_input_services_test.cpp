// SPDX-License-Identifier: GPL-3.0-or-later
// Input through the MIDI services: gating, short messages, system exclusive
// through lent buffers, reset and close, over the virtual backend's driver
// thread.

#include "platform/midi/virtual_services_fixture.h"

#include <atomic>
#include <thread>

namespace {

class InputTest : public VirtualServicesTest {
protected:
    void SetUp() override
    {
        VirtualServicesTest::SetUp();
        backend->addInput(named("In"));
    }

    // Prepares and lends a buffer of the given size.
    TestBuffer& lend(HMIDIIN in, DWORD size)
    {
        buffers.push_back(std::make_unique<TestBuffer>(size));
        MIDIHDR& header = buffers.back()->header;
        EXPECT_EQ(midiInPrepareHeader(in, &header, sizeof header), MMSYSERR_NOERROR);
        EXPECT_EQ(midiInAddBuffer(in, &header, sizeof header), MMSYSERR_NOERROR);
        return *buffers.back();
    }

    std::vector<std::unique_ptr<TestBuffer>> buffers;
};

DWORD_PTR address(const TestBuffer& buffer)
{
    return reinterpret_cast<DWORD_PTR>(&buffer.header);
}

TEST_F(InputTest, ShortMessagesArriveOnlyBetweenStartAndStop)
{
    const HMIDIIN in = openInput();
    backend->injectShort(0, 0x407F90, 1);
    backend->waitIdle();
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    backend->injectShort(0, 0x643C90, 1234);
    backend->injectShort(0, 0xFA, 5);
    backend->waitIdle();
    ASSERT_EQ(midiInStop(in), MMSYSERR_NOERROR);
    backend->injectShort(0, 0x003C80, 7);
    backend->waitIdle();

    const auto calls = recorder.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].message, MIM_OPEN);
    EXPECT_EQ(calls[0].device, in);
    EXPECT_EQ(calls[1].message, MIM_DATA);
    EXPECT_EQ(calls[1].device, in);
    EXPECT_EQ(calls[1].param1, 0x643C90u);
    EXPECT_EQ(calls[1].param2, 1234u);
    EXPECT_EQ(calls[2].message, MIM_DATA);
    EXPECT_EQ(calls[2].param1, 0xFAu);
    EXPECT_EQ(calls[2].param2, 5u);
}

TEST_F(InputTest, MessagesArrivePackedAsTheDriverDeliversThem)
{
    const HMIDIIN in = openInput();
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    const struct {
        std::vector<std::uint8_t> bytes;
        UINT message;
        DWORD packed;
    } table[] = {
        {{0x90, 0x3C, 0x64}, MIM_DATA, 0x643C90},
        {{0xC5, 0x07}, MIM_DATA, 0x07C5},
        {{0xF2, 0x10, 0x20}, MIM_DATA, 0x2010F2},
        {{0xFA}, MIM_DATA, 0xFA},
        // Clock and active sensing reach the callback; filtering is its job.
        {{0xF8}, MIM_DATA, 0xF8},
        {{0xFE}, MIM_DATA, 0xFE},
        // No status byte, or more or fewer bytes than the status calls for: invalid.
        {{0x3C, 0x64}, MIM_ERROR, 0x643C},
        {{0x90, 0x3C, 0x64, 0x01}, MIM_ERROR, 0x643C90},
        {{0x90, 0x3C}, MIM_ERROR, 0x3C90},
        {{0xC5, 0x07, 0x08}, MIM_ERROR, 0x0807C5},
    };
    for (const auto& row : table)
        backend->injectBytes(0, row.bytes);
    backend->injectBytes(0, {});
    backend->waitIdle();
    auto calls = recorder.calls();
    calls.erase(calls.begin()); // MIM_OPEN
    ASSERT_EQ(calls.size(), std::size(table));
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].message, table[i].message) << i;
        EXPECT_EQ(calls[i].param1, table[i].packed) << i;
    }
}

TEST_F(InputTest, TimeStampsCountUpFromStart)
{
    const HMIDIIN in = openInput();
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    for (int i = 0; i < 5; ++i)
        backend->injectShort(0, 0x643C90);
    backend->waitIdle();
    const auto data = recorder.calls(MIM_DATA);
    ASSERT_EQ(data.size(), 5u);
    for (std::size_t i = 1; i < data.size(); ++i)
        EXPECT_LE(data[i - 1].param2, data[i].param2);
}

TEST_F(InputTest, SystemExclusiveFillsTheLentBuffersInOrderAndContinues)
{
    const HMIDIIN in = openInput();
    TestBuffer& first = lend(in, 4);
    TestBuffer& second = lend(in, 4);
    TestBuffer& third = lend(in, 4);
    TestBuffer& fourth = lend(in, 16);
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    backend->injectBytes(0, {0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 0xF7});
    backend->injectBytes(0, {0xF0, 0x7E, 0xF7});
    backend->waitIdle();

    const auto calls = recorder.calls(MIM_LONGDATA);
    ASSERT_EQ(calls.size(), 4u);
    const std::vector<std::vector<std::uint8_t>> expected = {
        {0xF0, 1, 2, 3}, {4, 5, 6, 7}, {8, 0xF7}, {0xF0, 0x7E, 0xF7}};
    const TestBuffer* order[] = {&first, &second, &third, &fourth};
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].param1, address(*order[i])) << i;
        EXPECT_EQ(calls[i].bytes, expected[i]) << i;
        EXPECT_EQ(calls[i].bytesRecorded, expected[i].size()) << i;
        EXPECT_EQ(order[i]->header.dwFlags, DWORD{MHDR_PREPARED | MHDR_DONE}) << i;
    }
    EXPECT_TRUE(recorder.calls(MIM_LONGERROR).empty());
}

TEST_F(InputTest, SystemExclusiveWithoutABufferIsDroppedAndACutOneIsFlagged)
{
    const HMIDIIN in = openInput();
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    backend->injectBytes(0, {0xF0, 1, 0xF7});
    backend->injectShort(0, 0x643C90);
    backend->waitIdle();
    EXPECT_TRUE(recorder.calls(MIM_LONGDATA).empty());
    EXPECT_EQ(recorder.calls(MIM_DATA).size(), 1u) << "short messages flow on";

    TestBuffer& only = lend(in, 4);
    backend->injectBytes(0, {0xF0, 1, 2, 3, 4, 5, 0xF7});
    backend->waitIdle();
    const auto cut = recorder.calls(MIM_LONGERROR);
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].param1, address(only));
    EXPECT_EQ(cut[0].bytes, (std::vector<std::uint8_t>{0xF0, 1, 2, 3}));
}

TEST_F(InputTest, ResetStopsInputAndHandsBackEveryBufferInOrder)
{
    const HMIDIIN in = openInput();
    TestBuffer& first = lend(in, 8);
    TestBuffer& second = lend(in, 8);
    TestBuffer& third = lend(in, 8);
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    backend->injectBytes(0, {0xF0, 1, 0xF7});
    backend->waitIdle();
    EXPECT_EQ(midiInUnprepareHeader(in, &second.header, sizeof(MIDIHDR)), MIDIERR_STILLPLAYING);
    recorder.clear();

    const auto caller = std::this_thread::get_id();
    ASSERT_EQ(midiInReset(in), MMSYSERR_NOERROR);
    EXPECT_EQ(std::this_thread::get_id(), caller);
    const auto handedBack = recorder.calls();
    ASSERT_EQ(handedBack.size(), 2u);
    EXPECT_EQ(handedBack[0].message, MIM_LONGDATA);
    EXPECT_EQ(handedBack[0].param1, address(second));
    EXPECT_EQ(handedBack[0].bytesRecorded, 0u);
    EXPECT_EQ(handedBack[1].param1, address(third));
    for (TestBuffer* buffer : {&first, &second, &third})
        EXPECT_EQ(midiInUnprepareHeader(in, &buffer->header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);

    recorder.clear();
    backend->injectShort(0, 0x643C90);
    backend->waitIdle();
    EXPECT_TRUE(recorder.calls().empty()) << "input stopped";
}

TEST_F(InputTest, BuffersMustBePreparedAndLentOnce)
{
    const HMIDIIN in = openInput();
    TestBuffer buffer(8);
    MIDIHDR& h = buffer.header;
    EXPECT_EQ(midiInAddBuffer(in, &h, sizeof h), MIDIERR_UNPREPARED);
    EXPECT_EQ(midiInPrepareHeader(in, nullptr, sizeof h), MMSYSERR_INVALPARAM);
    EXPECT_EQ(midiInPrepareHeader(in, &h, 10), MMSYSERR_INVALPARAM);
    TestBuffer empty(0);
    EXPECT_EQ(midiInPrepareHeader(in, &empty.header, sizeof h), MMSYSERR_INVALPARAM);
    ASSERT_EQ(midiInPrepareHeader(in, &h, sizeof h), MMSYSERR_NOERROR);
    EXPECT_EQ(midiInPrepareHeader(in, &h, sizeof h), MMSYSERR_NOERROR) << "preparing again is harmless";
    ASSERT_EQ(midiInAddBuffer(in, &h, sizeof h), MMSYSERR_NOERROR);
    EXPECT_EQ(h.dwFlags, DWORD{MHDR_PREPARED | MHDR_INQUEUE});
    EXPECT_EQ(midiInAddBuffer(in, &h, sizeof h), MIDIERR_STILLPLAYING);
    EXPECT_EQ(midiInPrepareHeader(in, &h, sizeof h), MIDIERR_STILLPLAYING);
    ASSERT_EQ(midiInReset(in), MMSYSERR_NOERROR);
    EXPECT_EQ(midiInUnprepareHeader(in, &h, sizeof h), MMSYSERR_NOERROR);
    EXPECT_EQ(h.dwFlags, DWORD{MHDR_DONE});
}

TEST_F(InputTest, CloseTakesLentBuffersBackWithoutACallback)
{
    const HMIDIIN in = openInput();
    TestBuffer& lent = lend(in, 8);
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    recorder.clear();
    ASSERT_EQ(midiInClose(in), MMSYSERR_NOERROR);
    const auto calls = recorder.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].message, MIM_CLOSE);
    EXPECT_EQ(lent.header.dwFlags & MHDR_INQUEUE, 0u);
    EXPECT_FALSE(backend->isInputOpen(0));
}

TEST_F(InputTest, NoCallbackComesAfterCloseReturns)
{
    const HMIDIIN in = openInput();
    for (int i = 0; i < 64; ++i)
        lend(in, 4);
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    std::atomic<bool> running{true};
    std::thread driverFeed([&] {
        while (running.load(std::memory_order_relaxed)) {
            for (int i = 0; i < 50; ++i) {
                backend->injectShort(0, 0x643C90);
                backend->injectBytes(0, {0xF0, 1, 2, 3, 4, 5, 0xF7});
            }
            backend->waitIdle();
        }
    });
    // Let messages flow, then close in the middle of them.
    while (recorder.calls(MIM_DATA).size() < 100)
        std::this_thread::yield();
    ASSERT_EQ(midiInClose(in), MMSYSERR_NOERROR);
    const std::size_t atClose = recorder.calls().size();
    for (int i = 0; i < 1000; ++i)
        backend->injectShort(0, 0x643C90);
    running = false;
    driverFeed.join();
    backend->waitIdle();
    EXPECT_EQ(recorder.calls().size(), atClose);
    EXPECT_EQ(recorder.calls().back().message, MIM_CLOSE);
}

} // namespace
