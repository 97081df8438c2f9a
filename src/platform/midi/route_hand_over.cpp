// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/midi/route_hand_over.h"

RouteHandOver::RouteHandOver(Sink& sink) : sink_(sink), thread_([this] { run(); })
{
}

RouteHandOver::~RouteHandOver()
{
    stop();
}

bool RouteHandOver::handOver(const std::uint8_t* data, std::size_t size) noexcept
{
    if (!queue_.push(data, size))
        return false;
    // Sequentially consistent after the ring's own publication: a sending
    // thread that found the ring empty has read the counter before, so its
    // wait returns at once or is woken here.
    wake_.fetch_add(1, std::memory_order_seq_cst);
    wake_.notify_one();
    return true;
}

void RouteHandOver::stop() noexcept
{
    if (!thread_.joinable())
        return;
    stopping_.store(true, std::memory_order_release);
    wake_.fetch_add(1, std::memory_order_seq_cst);
    wake_.notify_one();
    thread_.join();
}

void RouteHandOver::run() noexcept
{
    for (;;) {
        const std::uint32_t seen = wake_.load(std::memory_order_seq_cst);
        // Read before draining: once stopping shows, every hand-over has
        // happened before, so this drain is the last one needed.
        const bool last = stopping_.load(std::memory_order_acquire);
        drain();
        if (last)
            return;
        wake_.wait(seen, std::memory_order_seq_cst);
    }
}

void RouteHandOver::drain() noexcept
{
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    while (queue_.front(data, size)) {
        sink_.sendHandedOver(data, size);
        queue_.pop();
    }
}
