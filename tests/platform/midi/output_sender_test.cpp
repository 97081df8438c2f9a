// SPDX-License-Identifier: GPL-3.0-or-later
// One sender at a time, in order: a message handed over while the other
// thread sends waits for that thread, which sends it before it lets go.
#include "platform/midi/output_sender.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Records what it sends; can hold the sending thread inside send() until
// released, and refuse messages that start with a given byte.
class GatedConnection final : public MidiOutputConnection {
public:
    MMRESULT send(const std::uint8_t* data, std::size_t size, bool isLong) override
    {
        // Two threads inside at once would break the one-sender rule.
        EXPECT_EQ(inside_.fetch_add(1), 0);
        if (holdNext_.exchange(false)) {
            held_.store(true);
            while (!released_.load())
                std::this_thread::yield();
        }
        MMRESULT result = MMSYSERR_NOERROR;
        if (size > 0 && data[0] == refused_.load())
            result = MIDIERR_NOTREADY;
        else
            record(Bytes(data, data + size), isLong);
        inside_.fetch_sub(1);
        return result;
    }

    void holdNextSend() { holdNext_.store(true); }
    bool holding() const { return held_.load(); }
    void release() { released_.store(true); }
    void refuse(std::uint8_t firstByte) { refused_.store(firstByte); }

    std::vector<Bytes> sent() const
    {
        const std::lock_guard lock(mutex_);
        return sent_;
    }
    std::vector<bool> longFlags() const
    {
        const std::lock_guard lock(mutex_);
        return long_;
    }

private:
    void record(Bytes bytes, bool isLong)
    {
        const std::lock_guard lock(mutex_);
        sent_.push_back(std::move(bytes));
        long_.push_back(isLong);
    }

    std::atomic<int> inside_{0};
    std::atomic<bool> holdNext_{false};
    std::atomic<bool> held_{false};
    std::atomic<bool> released_{false};
    std::atomic<int> refused_{-1};
    mutable std::mutex mutex_;
    std::vector<Bytes> sent_;
    std::vector<bool> long_;
};

class CountingListener final : public OutputSender::Listener {
public:
    void longMessageDone(MIDIHDR& header) noexcept override { done.push_back(&header); }
    void messageLost() noexcept override { ++lost; }

    std::vector<MIDIHDR*> done;
    std::atomic<int> lost{0};
};

TEST(OutputSender, AMessageHandedOverWhileTheOtherThreadSendsLeavesFromThatThreadInOrder)
{
    GatedConnection connection;
    CountingListener listener;
    OutputSender sender(connection, listener);

    // The main thread is inside a send when the route's messages come.
    connection.holdNextSend();
    std::thread main([&] {
        const std::uint8_t note[3] = {0x90, 60, 100};
        EXPECT_EQ(sender.sendShort(note, 3), MMSYSERR_NOERROR);
    });
    while (!connection.holding())
        std::this_thread::yield();

    Bytes sysex{0xF0, 1, 2, 3, 0xF7};
    const std::uint8_t clock[1] = {0xF8};
    EXPECT_EQ(sender.routeLong(sysex.data(), sysex.size()), MMSYSERR_NOERROR);
    // The route's bytes were its own only for the call: the wait keeps a copy.
    sysex.assign(sysex.size(), 0);
    EXPECT_EQ(sender.routeShort(clock, 1), MMSYSERR_NOERROR);
    EXPECT_EQ(connection.sent().size(), 0u) << "nothing passes the main thread's send";

    connection.release();
    main.join();
    EXPECT_EQ(connection.sent(), (std::vector<Bytes>{{0x90, 60, 100}, {0xF0, 1, 2, 3, 0xF7}, {0xF8}}));
    EXPECT_EQ(connection.longFlags(), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(listener.lost.load(), 0);
}

TEST(OutputSender, AQueuedLongMessageIsHandedBackOnceSentAndAQueuedFailureCountsAsLost)
{
    GatedConnection connection;
    CountingListener listener;
    OutputSender sender(connection, listener);

    // The route's thread sends while the main thread hands over its messages.
    connection.holdNextSend();
    std::thread route([&] {
        const std::uint8_t note[3] = {0x90, 60, 100};
        EXPECT_EQ(sender.routeShort(note, 3), MMSYSERR_NOERROR);
    });
    while (!connection.holding())
        std::this_thread::yield();

    char data[] = {'\xF0', 0x7E, '\xF7'};
    MIDIHDR header;
    header.lpData = data;
    header.dwBufferLength = sizeof data;
    EXPECT_EQ(sender.sendLong(header), MMSYSERR_NOERROR);
    EXPECT_TRUE(listener.done.empty()) << "still waiting for the route's thread";
    connection.refuse(0xB0);
    const std::uint8_t control[3] = {0xB0, 7, 100};
    EXPECT_EQ(sender.sendShort(control, 3), MMSYSERR_NOERROR);

    connection.release();
    route.join();
    EXPECT_EQ(listener.done, (std::vector<MIDIHDR*>{&header}));
    EXPECT_EQ(listener.lost.load(), 1);
    EXPECT_EQ(connection.sent(), (std::vector<Bytes>{{0x90, 60, 100}, {0xF0, 0x7E, 0xF7}}));

    // Sent at once, a refusal is the caller's result, not a loss.
    EXPECT_EQ(sender.sendShort(control, 3), MIDIERR_NOTREADY);
    EXPECT_EQ(listener.lost.load(), 1);
}

TEST(OutputSender, TwoThreadsSendingAtOnceKeepEachOnesOrderAndLoseNothing)
{
    GatedConnection connection;
    CountingListener listener;
    OutputSender sender(connection, listener);
    constexpr int Count = 20000;

    // Each thread numbers its messages in the two data bytes.
    const auto run = [&](std::uint8_t status, bool route) {
        for (int i = 0; i < Count; ++i) {
            const std::uint8_t bytes[3] = {status, static_cast<std::uint8_t>(i >> 7), static_cast<std::uint8_t>(i & 0x7F)};
            MMRESULT result = MIDIERR_SENDQUEUEFULL;
            while (result == MIDIERR_SENDQUEUEFULL) {
                result = route ? sender.routeShort(bytes, 3) : sender.sendShort(bytes, 3);
                if (result == MIDIERR_SENDQUEUEFULL)
                    std::this_thread::yield();
            }
            ASSERT_EQ(result, MMSYSERR_NOERROR);
        }
    };
    std::thread route(run, 0x91, true);
    run(0x90, false);
    route.join();
    sender.flush();

    int next[2] = {0, 0};
    for (const Bytes& message : connection.sent()) {
        const int from = message[0] & 1;
        EXPECT_EQ((message[1] << 7) | message[2], next[from]);
        ++next[from];
    }
    EXPECT_EQ(next[0], Count);
    EXPECT_EQ(next[1], Count);
    EXPECT_EQ(listener.lost.load(), 0);
}

} // namespace
