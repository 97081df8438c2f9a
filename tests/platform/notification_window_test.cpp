// SPDX-License-Identifier: GPL-3.0-or-later
// The notification window: posting from other threads, delivery on the main
// thread in posting order, nested delivery.

#include "platform/notification_window.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

// Runs the event loop until the condition holds; false after a generous
// limit, so that a lost wake-up fails the test instead of hanging it.
template <class Condition>
bool runEventsUntil(Condition done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 60000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

TEST(NotificationWindowTest, DeliversOnTheMainThreadWithNumberAndParameters)
{
    std::vector<TMessage> received;
    const auto mainThread = std::this_thread::get_id();
    bool onMain = true;
    NotificationWindow window([&](TMessage& m) {
        onMain = onMain && std::this_thread::get_id() == mainThread;
        received.push_back(m);
    });
    std::thread poster([&] {
        EXPECT_TRUE(PostMessageW(&window, 963, 0, 0));
        EXPECT_TRUE(PostMessageW(&window, 969, 0, 0xDEADBEEF));
    });
    poster.join();
    EXPECT_TRUE(received.empty()) << "nothing is delivered before the event loop runs";
    ASSERT_TRUE(runEventsUntil([&] { return received.size() == 2; }));
    EXPECT_TRUE(onMain);
    EXPECT_EQ(received[0].Msg, 963u);
    EXPECT_EQ(received[1].Msg, 969u);
    EXPECT_EQ(received[1].WParam, 0u);
    EXPECT_EQ(received[1].LParam, 0xDEADBEEFu);
    EXPECT_FALSE(PostMessageW(nullptr, 963, 0, 0));
}

TEST(NotificationWindowTest, AMillionMessagesFromProducersArriveOnceAndInOrder)
{
    constexpr std::uintptr_t perProducer = 500000;
    constexpr unsigned producers = 2;
    std::vector<std::uintptr_t> next(producers, 0);
    std::size_t received = 0;
    bool inOrder = true;
    NotificationWindow window([&](TMessage& m) {
        // WParam: the producer; LParam: its own running number.
        inOrder = inOrder && m.Msg == WM_USER && m.LParam == next[m.WParam];
        ++next[m.WParam];
        ++received;
    });
    std::vector<std::thread> threads;
    for (unsigned p = 0; p < producers; ++p) {
        threads.emplace_back([&window, p] {
            for (std::uintptr_t i = 0; i < perProducer; ++i) {
                // A full queue refuses; the producer tries again.
                while (!window.post(WM_USER, p, i))
                    std::this_thread::yield();
            }
        });
    }
    const bool finished = runEventsUntil([&] { return received == producers * perProducer; });
    for (auto& thread : threads)
        thread.join();
    ASSERT_TRUE(finished) << received;
    EXPECT_TRUE(inOrder);
    QCoreApplication::processEvents();
    EXPECT_EQ(received, producers * perProducer) << "nothing duplicated";
}

TEST(NotificationWindowTest, AFullQueueRefusesAndLosesNothingItAccepted)
{
    std::vector<std::uintptr_t> received;
    NotificationWindow window([&](TMessage& m) { received.push_back(m.WParam); }, 4);
    for (std::uintptr_t i = 0; i < 4; ++i)
        EXPECT_TRUE(window.post(WM_USER, i, 0));
    EXPECT_FALSE(window.post(WM_USER, 99, 0));
    ASSERT_TRUE(runEventsUntil([&] { return received.size() == 4; }));
    EXPECT_EQ(received, (std::vector<std::uintptr_t>{0, 1, 2, 3}));
    EXPECT_TRUE(window.post(WM_USER, 4, 0));
}

TEST(NotificationWindowTest, AHandlerRunningTheEventLoopGetsTheRestNestedAndInOrder)
{
    std::vector<std::uintptr_t> order;
    std::vector<int> depthAtDelivery;
    int depth = 0;
    NotificationWindow* self = nullptr;
    NotificationWindow window([&](TMessage& m) {
        ++depth;
        order.push_back(m.WParam);
        depthAtDelivery.push_back(depth);
        if (m.WParam == 0) {
            // Posted while the first is handled: after those already queued.
            self->post(WM_USER, 5, 0);
            QCoreApplication::processEvents();
        }
        --depth;
    });
    self = &window;
    for (std::uintptr_t i = 0; i < 5; ++i)
        window.post(WM_USER, i, 0);
    ASSERT_TRUE(runEventsUntil([&] { return order.size() == 6; }));
    EXPECT_EQ(order, (std::vector<std::uintptr_t>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(depthAtDelivery, (std::vector<int>{1, 2, 2, 2, 2, 2}));
}

TEST(NotificationWindowTest, DestroyingTheWindowInItsHandlerStopsDelivery)
{
    int delivered = 0;
    std::unique_ptr<NotificationWindow> window;
    window = std::make_unique<NotificationWindow>([&](TMessage&) {
        ++delivered;
        window.reset();
    });
    for (int i = 0; i < 3; ++i)
        window->post(WM_USER, 0, 0);
    ASSERT_TRUE(runEventsUntil([&] { return !window; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(delivered, 1);
}

} // namespace
