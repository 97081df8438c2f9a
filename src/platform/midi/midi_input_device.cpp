// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/midi/midi_input_device.h"

#include "platform/midi/messages/midi_message.h"
#include "platform/midi/messages/midi_status.h"
#include "platform/midi/midi_header_flags.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

std::int64_t steadyNowNs() noexcept
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

// The driver is done with the header: recorded bytes are set, the flags say so.
void markDone(MIDIHDR& header) noexcept
{
    storeHeaderFlags(header, (loadHeaderFlags(header) & ~MHDR_INQUEUE) | MHDR_DONE);
}

} // namespace

// Counts one delivery in flight for as long as it lives; open() tells whether
// the gate let it through.
class MidiInputDevice::DeliveryGate {
public:
    explicit DeliveryGate(MidiInputDevice& device) noexcept : device_(device)
    {
        // Counted before the gate is read: stop() closes the gate before it
        // reads the count, so one of the two always sees the other.
        device_.inFlight_.fetch_add(1, std::memory_order_seq_cst);
        open_ = device_.started_.load(std::memory_order_seq_cst);
    }
    ~DeliveryGate() { device_.inFlight_.fetch_sub(1, std::memory_order_release); }
    DeliveryGate(const DeliveryGate&) = delete;
    DeliveryGate& operator=(const DeliveryGate&) = delete;

    bool open() const noexcept { return open_; }

private:
    MidiInputDevice& device_;
    bool open_ = false;
};

MidiInputDevice::MidiInputDevice(HMIDIIN handle, MidiCallbackProc callback, DWORD_PTR instance)
    : handle_(handle), callback_(callback), instance_(instance)
{
}

MidiInputDevice::~MidiInputDevice()
{
    close();
}

void MidiInputDevice::attach(std::unique_ptr<MidiInputConnection> connection)
{
    connection_ = std::move(connection);
}

void MidiInputDevice::notify(UINT message) const noexcept
{
    if (callback_)
        callback_(handle_, message, instance_, 0, 0);
}

MMRESULT MidiInputDevice::addBuffer(MIDIHDR& header)
{
    const DWORD flags = loadHeaderFlags(header);
    if (const MMRESULT refused = checkHeaderToLend(header, flags))
        return refused;
    header.dwBytesRecorded = 0;
    header.dwReserved[0] = ThruNone;
    storeHeaderFlags(header, (flags | MHDR_INQUEUE) & ~MHDR_DONE);
    if (!lent_.push(&header)) {
        storeHeaderFlags(header, flags);
        return MMSYSERR_NOMEM;
    }
    return MMSYSERR_NOERROR;
}

void MidiInputDevice::start() noexcept
{
    if (started_.load(std::memory_order_relaxed))
        return;
    startNs_.store(steadyNowNs(), std::memory_order_relaxed);
    // The gate's sequentially consistent store publishes the start time too.
    started_.store(true, std::memory_order_seq_cst);
}

void MidiInputDevice::stop() noexcept
{
    started_.store(false, std::memory_order_seq_cst);
    waitUntilQuiet();
}

void MidiInputDevice::reset() noexcept
{
    stop();
    while (MIDIHDR* header = lent_.pop()) {
        header->dwBytesRecorded = 0;
        markDone(*header);
        if (callback_)
            callback_(handle_, MIM_LONGDATA, instance_, reinterpret_cast<DWORD_PTR>(header), 0);
    }
}

void MidiInputDevice::close() noexcept
{
    disconnect();
    stop();
    // The backend guarantees that no onMessage runs once the connection is gone.
    connection_.reset();
    // Buffers still lent go back to their owner without a callback: the
    // owner may already have released what the callback would touch.
    while (MIDIHDR* header = lent_.pop()) {
        header->dwBytesRecorded = 0;
        markDone(*header);
    }
}

MMRESULT MidiInputDevice::connect(MidiOutputDevice& output, const ThruMap& map)
{
    if (routedOutput_)
        return MMSYSERR_ALLOCATED;
    const MMRESULT native = connection_ ? connection_->connectThru(output.connection(), map) : MMSYSERR_NOTSUPPORTED;
    if (native == MMSYSERR_NOERROR) {
        nativeRoute_ = true;
    } else if (native == MMSYSERR_NOTSUPPORTED) {
        const bool handsOver = !connection_ || !sameBackend(*connection_, output.connection());
        auto route = std::make_unique<Route>(Route{output, map, handsOver});
        if (handsOver) {
            if (const MMRESULT started = output.beginHandOver())
                return started;
        }
        routeStorage_ = std::move(route);
        carry_ = ThruCarry{};
        lossMap_.store(&map, std::memory_order_release);
        output.setLossListener(this);
        route_.store(routeStorage_.get(), std::memory_order_seq_cst);
    } else {
        return native;
    }
    routedOutput_ = &output;
    return MMSYSERR_NOERROR;
}

void MidiInputDevice::disconnect() noexcept
{
    if (!routedOutput_)
        return;
    if (nativeRoute_) {
        connection_->disconnectThru();
    } else {
        route_.store(nullptr, std::memory_order_seq_cst);
        // A delivery that took the route before it went finishes first.
        waitUntilQuiet();
        if (routeStorage_->handsOver)
            routedOutput_->endHandOver();
        routedOutput_->setLossListener(nullptr);
        lossMap_.store(nullptr, std::memory_order_release);
        routeStorage_.reset();
    }
    nativeRoute_ = false;
    routedOutput_ = nullptr;
}

void MidiInputDevice::routedMessageLost() noexcept
{
    // The map, not the route: what the sending thread sends while the route
    // is being taken away counts too.
    if (const ThruMap* map = lossMap_.load(std::memory_order_acquire))
        map->lost.fetch_add(1, std::memory_order_relaxed);
    if (callback_)
        callback_(handle_, MIM_THRULOST, instance_, 1, 0);
}

void MidiInputDevice::waitUntilQuiet() const noexcept
{
    // Main thread only; a delivery is a handful of instructions and a callback
    // that may not block, so yielding is enough.
    while (inFlight_.load(std::memory_order_seq_cst) != 0)
        std::this_thread::yield();
}

DWORD MidiInputDevice::elapsedMs() const noexcept
{
    const std::int64_t ns = steadyNowNs() - startNs_.load(std::memory_order_relaxed);
    return static_cast<DWORD>(ns / 1000000);
}

void MidiInputDevice::onMessage(const std::uint8_t* data, std::size_t size) noexcept
{
    const DeliveryGate gate(*this);
    if (gate.open())
        receive(data, size, elapsedMs());
}

void MidiInputDevice::onMessageAt(const std::uint8_t* data, std::size_t size, DWORD timestampMs) noexcept
{
    const DeliveryGate gate(*this);
    if (gate.open())
        receive(data, size, timestampMs);
}

void MidiInputDevice::onRoutedMessage(const std::uint8_t* data, std::size_t size, ThruOutcome outcome) noexcept
{
    const DeliveryGate gate(*this);
    if (gate.open())
        deliver(data, size, elapsedMs(), outcome);
}

void MidiInputDevice::receive(const std::uint8_t* data, std::size_t size, DWORD timestampMs) noexcept
{
    if (size == 0 || !data)
        return;
    // The route goes first: the output hears the message before the client does.
    const Route* route = route_.load(std::memory_order_seq_cst);
    const ThruOutcome outcome = route ? forward(*route, data, size) : ThruNone;
    if (route)
        countThruOutcome(route->map, outcome);
    deliver(data, size, timestampMs, outcome);
}

ThruOutcome MidiInputDevice::forward(const Route& route, const std::uint8_t* data, std::size_t size) noexcept
{
    // One carry for the input's stream: the pieces of a system-exclusive
    // message that the backend delivers in several pass, real-time bytes
    // between them keep their place, and stray data bytes stay out. What
    // the client would refuse, the route does not send either: a short
    // message of the wrong length. A system-exclusive message leaves as it
    // came, also one that another status byte ended before its 0xF7.
    const ThruDecision decision = decideThru(route.map, data, size, carry_);
    if (decision.outcome != ThruSent)
        return decision.outcome;
    const MMRESULT result = route.handsOver ? route.output.handOver(decision.bytes(), decision.size)
                                            : route.output.routeMessage(decision.bytes(), decision.size);
    if (result == MMSYSERR_NOERROR)
        return ThruSent;
    return result == MIDIERR_SENDQUEUEFULL ? ThruLost : thruFailed(result);
}

void MidiInputDevice::deliver(const std::uint8_t* data, std::size_t size, DWORD timestampMs,
                              ThruOutcome outcome) noexcept
{
    if (size == 0 || !data || !callback_)
        return;
    if (data[0] == midi::SysexStart) {
        deliverSysex(data, size, timestampMs, outcome);
        return;
    }
    // A message without a status byte, or with more or fewer data bytes than
    // its status calls for, is reported as invalid (MIM_ERROR) with what fits
    // of it: a note cut short must not leave as a note.
    const bool valid = size == shortMessageSize(data[0]);
    const DWORD_PTR param = packShortMessage(data, size) | (static_cast<DWORD_PTR>(outcome) << 24);
    callback_(handle_, valid ? MIM_DATA : MIM_ERROR, instance_, param, timestampMs);
}

void MidiInputDevice::deliverSysex(const std::uint8_t* data, std::size_t size, DWORD timestampMs,
                                   ThruOutcome outcome) noexcept
{
    // With no buffer lent the message is lost, as with a driver.
    MIDIHDR* header = lent_.pop();
    std::size_t offset = 0;
    while (header) {
        const std::size_t count = std::min<std::size_t>(header->dwBufferLength, size - offset);
        std::memcpy(header->lpData, data + offset, count);
        offset += count;
        header->dwBytesRecorded = static_cast<DWORD>(count);
        header->dwReserved[0] = outcome;
        // A message longer than one buffer continues in the next one; when
        // none is left, the last buffer filled carries a cut-off message.
        MIDIHDR* next = offset < size ? lent_.pop() : nullptr;
        const UINT message = offset < size && !next ? MIM_LONGERROR : MIM_LONGDATA;
        markDone(*header);
        callback_(handle_, message, instance_, reinterpret_cast<DWORD_PTR>(header), timestampMs);
        header = next;
    }
}
