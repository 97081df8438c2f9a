// SPDX-License-Identifier: GPL-3.0-or-later
// The waits of the start-up sequence: events handled meanwhile or left
// waiting, and the time waited, also when the 32-bit tick counter wraps in
// the middle of a wait.
#include "platform/tick_count.h"
#include "routing/waits.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(Waits, DelayHandlesEventsWhileItWaitsLongerThanAsked)
{
    bool fired = false;
    QTimer::singleShot(10, [&] { fired = true; });
    const auto start = std::chrono::steady_clock::now();
    DelayMs(50, true);
    EXPECT_GT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    EXPECT_TRUE(fired);
}

TEST(Waits, DelayWithoutHandlingLeavesEventsWaiting)
{
    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    DelayMs(20, false);
    EXPECT_FALSE(fired);
    QCoreApplication::processEvents();
    EXPECT_TRUE(fired);
}

TEST(Waits, PauseHandlesEventsAndWaitsAtLeastTheTime)
{
    bool fired = false;
    QTimer::singleShot(5, [&] { fired = true; });
    const auto start = std::chrono::steady_clock::now();
    PauseMs(30);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    EXPECT_TRUE(fired);
}

// Puts in a tick counter that runs at the steady clock's pace and passes
// 2^32 WrapAfterMs after it was put in; the steady clock comes back after.
class TicksAboutToWrap {
public:
    static constexpr std::uint32_t WrapAfterMs = 100;

    TicksAboutToWrap()
    {
        start = Clock::now();
        SetTickSource(&Read);
    }
    ~TicksAboutToWrap() { SetTickSource(nullptr); }
    TicksAboutToWrap(const TicksAboutToWrap&) = delete;
    TicksAboutToWrap& operator=(const TicksAboutToWrap&) = delete;

private:
    static std::uint32_t Read() noexcept
    {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        return std::uint32_t{0} - WrapAfterMs + static_cast<std::uint32_t>(ms);
    }

    static inline Clock::time_point start;
};

TEST(Waits, EachWaitLastsItsTimeWhenTheTickCounterWrapsMidway)
{
    struct Case {
        const char* name;
        std::function<void()> wait;
    };
    const Case cases[] = {
        {"delay handling events", [] { DelayMs(300, true); }},
        {"delay leaving events waiting", [] { DelayMs(300, false); }},
        {"pause", [] { PauseMs(300); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TicksAboutToWrap ticks;
        ASSERT_GT(GetTickCount(), 0xFFFF0000u);
        const auto start = Clock::now();
        c.wait();
        EXPECT_GE(Clock::now() - start, 300ms);
        EXPECT_LT(GetTickCount(), 0x10000u) << "the counter did not wrap during the wait";
    }
}

TEST(Waits, TheSteadyClockComesBackOnceATestsCounterGoes)
{
    {
        const TicksAboutToWrap ticks;
        EXPECT_GT(GetTickCount(), 0xFFFF0000u);
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
    EXPECT_LE(static_cast<std::uint32_t>(GetTickCount() - static_cast<std::uint32_t>(ms)), 1000u);
}

} // namespace
