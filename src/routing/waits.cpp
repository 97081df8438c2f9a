// SPDX-License-Identifier: GPL-3.0-or-later
#include "routing/waits.h"

#include "platform/tick_count.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <thread>
#include <utility>

namespace {

// A DelayMs that handles events, while it runs; the innermost one is where
// a nested handler's error goes. Main thread only.
struct DelayFrame {
    QEventLoop* loop = nullptr;
    std::exception_ptr error;
};

DelayFrame* innermostDelay = nullptr;

// Handles events as they come for up to `ms`, sleeping in between; ends
// early when an error is handed to `frame`.
void RunEventsFor(std::uint32_t ms, DelayFrame* frame = nullptr)
{
    QEventLoop loop;
    QTimer::singleShot(std::chrono::milliseconds(ms), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    if (frame)
        frame->loop = &loop;
    loop.exec();
    if (frame)
        frame->loop = nullptr;
}

} // namespace

void DelayMs(std::uint32_t Milliseconds, bool HandleMessages)
{
    DelayFrame frame;
    const struct Restore {
        DelayFrame* outer;
        ~Restore() { innermostDelay = outer; }
    } restore{innermostDelay};
    if (HandleMessages)
        innermostDelay = &frame;

    const std::uint32_t t0 = GetTickCount();
    for (;;) {
        const std::uint32_t elapsed = GetTickCount() - t0;
        if (elapsed > Milliseconds)
            return;
        const std::uint32_t remaining = Milliseconds - elapsed + 1;
        if (HandleMessages)
            RunEventsFor(remaining, &frame);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(remaining));
        if (frame.error)
            std::rethrow_exception(frame.error);
    }
}

bool PassErrorToDelay(std::exception_ptr error) noexcept
{
    if (!innermostDelay)
        return false;
    if (!innermostDelay->error)
        innermostDelay->error = std::move(error);
    if (innermostDelay->loop)
        innermostDelay->loop->quit();
    return true;
}

void PauseMs(std::uint32_t Milliseconds)
{
    const std::uint32_t t0 = GetTickCount();
    for (;;) {
        const std::uint32_t elapsed = GetTickCount() - t0;
        if (elapsed >= Milliseconds) {
            QCoreApplication::processEvents();
            return;
        }
        RunEventsFor(Milliseconds - elapsed);
    }
}
