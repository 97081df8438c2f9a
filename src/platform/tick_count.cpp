// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/tick_count.h"

#include <atomic>
#include <chrono>

namespace {

std::uint32_t SteadyTicks() noexcept
{
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(ms);
}

std::atomic<TickSource> Source{&SteadyTicks};

} // namespace

std::uint32_t GetTickCount() noexcept
{
    return Source.load(std::memory_order_relaxed)();
}

void SetTickSource(TickSource source) noexcept
{
    Source.store(source ? source : &SteadyTicks, std::memory_order_relaxed);
}
