#include "routing/waits.h"

#include "platform/tick_count.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <thread>

namespace {

// Handles events as they come for up to `ms`, sleeping in between.
void RunEventsFor(std::uint32_t ms)
{
    QEventLoop loop;
    QTimer::singleShot(std::chrono::milliseconds(ms), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

void DelayMs(std::uint32_t Milliseconds, bool HandleMessages)
{
    const std::uint32_t t0 = GetTickCount();
    for (;;) {
        const std::uint32_t elapsed = GetTickCount() - t0;
        if (elapsed > Milliseconds)
            return;
        const std::uint32_t remaining = Milliseconds - elapsed + 1;
        if (HandleMessages)
            RunEventsFor(remaining);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(remaining));
    }
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
