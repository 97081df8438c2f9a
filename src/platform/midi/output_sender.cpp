// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/midi/output_sender.h"

#include <cstring>

OutputSender::OutputSender(MidiOutputConnection& connection, Listener& listener)
    : connection_(connection), listener_(listener)
{
}

MMRESULT OutputSender::sendShort(const std::uint8_t* data, std::size_t size) noexcept
{
    Item item;
    item.size = static_cast<std::uint32_t>(size);
    std::memcpy(item.bytes, data, size);
    return submit(fromMain_, item);
}

MMRESULT OutputSender::sendLong(MIDIHDR& header) noexcept
{
    Item item;
    item.data = reinterpret_cast<const std::uint8_t*>(header.lpData);
    item.size = header.dwBufferLength;
    item.header = &header;
    return submit(fromMain_, item);
}

MMRESULT OutputSender::routeShort(const std::uint8_t* data, std::size_t size) noexcept
{
    Item item;
    item.size = static_cast<std::uint32_t>(size);
    std::memcpy(item.bytes, data, size);
    return submit(fromRoute_, item);
}

MMRESULT OutputSender::routeLong(const std::uint8_t* data, std::size_t size) noexcept
{
    if (tryAcquire()) {
        drainQueued();
        Item item;
        item.data = data;
        item.size = static_cast<std::uint32_t>(size);
        const MMRESULT result = sendNow(item);
        releaseAndDrain();
        return result;
    }
    // The bytes are the driver's only for this call: a message that waits
    // keeps a copy of its own.
    if (fromRoute_.full())
        return MIDIERR_SENDQUEUEFULL;
    std::size_t taken = 0;
    std::uint8_t* copy = copies_.reserve(size, taken);
    if (!copy)
        return MIDIERR_SENDQUEUEFULL;
    std::memcpy(copy, data, size);
    Item item;
    item.data = copy;
    item.size = static_cast<std::uint32_t>(size);
    item.copied = static_cast<std::uint32_t>(taken);
    item.ticket = tickets_.fetch_add(1, std::memory_order_relaxed);
    fromRoute_.push(item);
    if (tryAcquire()) {
        drainQueued();
        releaseAndDrain();
    }
    return MMSYSERR_NOERROR;
}

void OutputSender::flush() noexcept
{
    if (tryAcquire()) {
        drainQueued();
        releaseAndDrain();
    }
}

MMRESULT OutputSender::submit(SpscQueue<Item>& queue, const Item& item) noexcept
{
    if (tryAcquire()) {
        // What waited came first.
        drainQueued();
        const MMRESULT result = sendNow(item);
        if (result == MMSYSERR_NOERROR && item.header)
            listener_.longMessageDone(*item.header);
        releaseAndDrain();
        return result;
    }
    Item queued = item;
    queued.ticket = tickets_.fetch_add(1, std::memory_order_relaxed);
    if (!queue.push(queued))
        return MIDIERR_SENDQUEUEFULL;
    // The sender may have let go before it could see the message.
    if (tryAcquire()) {
        drainQueued();
        releaseAndDrain();
    }
    return MMSYSERR_NOERROR;
}

bool OutputSender::tryAcquire() noexcept
{
    // Sequentially consistent, like the queues' publication: a message
    // queued while the sender lets go is seen by one of the two.
    return !busy_.exchange(true, std::memory_order_seq_cst);
}

void OutputSender::drainQueued() noexcept
{
    for (;;) {
        const Item* main = fromMain_.front();
        const Item* route = fromRoute_.front();
        if (!main && !route)
            return;
        SpscQueue<Item>& oldest = !route || (main && main->ticket < route->ticket) ? fromMain_ : fromRoute_;
        const Item item = *oldest.front();
        oldest.pop();
        finish(item, sendNow(item));
    }
}

void OutputSender::releaseAndDrain() noexcept
{
    for (;;) {
        busy_.store(false, std::memory_order_seq_cst);
        if (fromMain_.empty() && fromRoute_.empty())
            return;
        if (!tryAcquire())
            return;
        drainQueued();
    }
}

MMRESULT OutputSender::sendNow(const Item& item) noexcept
{
    try {
        return connection_.send(item.data ? item.data : item.bytes, item.size, item.data != nullptr);
    } catch (...) {
        return MMSYSERR_ERROR;
    }
}

void OutputSender::finish(const Item& item, MMRESULT result) noexcept
{
    if (item.copied)
        copies_.release(item.copied);
    if (item.header)
        listener_.longMessageDone(*item.header);
    if (result != MMSYSERR_NOERROR)
        listener_.messageLost();
}
