// SPDX-License-Identifier: GPL-3.0-or-later
#include "jack_probe.h"

#include "wait_until.h"

#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

// Room for a long system-exclusive message, or several thousand short ones,
// between two collections.
constexpr std::size_t RingSize = 1 << 20;
// The frames of 65,536 queued messages.
constexpr std::size_t PlayedRingSize = 1 << 19;

struct EventHeader {
    std::uint64_t frame;
    std::uint32_t size;
};

} // namespace

// Under ThreadSanitizer: libjack's ring buffers (ours here, and RtMidi's
// JACK output) synchronise through plain memory barriers, which TSan cannot
// see in an uninstrumented library, so the copies they guard would be
// reported as races. Only those are set aside. Linked into every program
// that uses the probe.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:jack_ringbuffer_\n";
}

JackProbe::JackProbe(const std::string& name, bool physical)
{
    client_ = jack_client_open(name.c_str(), static_cast<jack_options_t>(JackNoStartServer | JackUseExactName),
                               nullptr);
    if (!client_)
        throw std::runtime_error("no JACK server for the probe " + name);
    const unsigned long extra = physical ? (JackPortIsPhysical | JackPortIsTerminal) : 0;
    out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput | extra, 0);
    in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput | extra, 0);
    toSend_ = jack_ringbuffer_create(RingSize);
    received_ = jack_ringbuffer_create(RingSize);
    queuedPlayed_ = jack_ringbuffer_create(PlayedRingSize);
    jack_set_process_callback(client_, &JackProbe::process, this);
    jack_on_shutdown(client_, &JackProbe::onShutdown, this);
    const int watching = jack_set_client_registration_callback(client_, &JackProbe::onClientRegistration, this);
    if (!out_ || !in_ || !toSend_ || !received_ || !queuedPlayed_ || watching != 0 || jack_activate(client_) != 0) {
        jack_client_close(client_);
        for (jack_ringbuffer_t* ring : {toSend_, received_, queuedPlayed_}) {
            if (ring)
                jack_ringbuffer_free(ring);
        }
        throw std::runtime_error("cannot set up the JACK probe " + name);
    }
}

JackProbe::~JackProbe()
{
    // A client whose server has gone can only be closed.
    if (!serverGone())
        jack_deactivate(client_);
    jack_client_close(client_);
    jack_ringbuffer_free(toSend_);
    jack_ringbuffer_free(received_);
    jack_ringbuffer_free(queuedPlayed_);
}

std::string JackProbe::outputPort() const
{
    return jack_port_name(out_);
}

std::string JackProbe::inputPort() const
{
    return jack_port_name(in_);
}

std::vector<std::string> JackProbe::allPorts() const
{
    std::vector<std::string> names;
    const char** ports = jack_get_ports(client_, nullptr, nullptr, 0);
    for (const char** port = ports; port && *port; ++port)
        names.emplace_back(*port);
    jack_free(ports);
    return names;
}

std::vector<std::string> JackProbe::connections(const std::string& port) const
{
    std::vector<std::string> names;
    const jack_port_t* found = jack_port_by_name(client_, port.c_str());
    if (!found)
        return names;
    const char** ports = jack_port_get_all_connections(client_, found);
    for (const char** name = ports; name && *name; ++name)
        names.emplace_back(*name);
    jack_free(ports);
    return names;
}

bool JackProbe::connect(const std::string& source, const std::string& destination)
{
    const int result = jack_connect(client_, source.c_str(), destination.c_str());
    return result == 0 || result == EEXIST;
}

jack_nframes_t JackProbe::sampleRate() const
{
    return jack_get_sample_rate(client_);
}

jack_nframes_t JackProbe::periodFrames() const
{
    return jack_get_buffer_size(client_);
}

bool JackProbe::connected() const
{
    return jack_port_connected(out_) > 0 && jack_port_connected(in_) > 0;
}

bool JackProbe::connectPorts(const std::string& source, const std::string& destination)
{
    return jack_connect(client_, source.c_str(), destination.c_str()) == 0;
}

bool JackProbe::disconnectPorts(const std::string& source, const std::string& destination)
{
    return jack_disconnect(client_, source.c_str(), destination.c_str()) == 0;
}

bool JackProbe::waitForOutputConnected(std::chrono::milliseconds limit) const
{
    return WaitUntil([&] { return jack_port_connected(out_) > 0; }, limit);
}

bool JackProbe::waitForInputConnected(std::chrono::milliseconds limit) const
{
    return WaitUntil([&] { return jack_port_connected(in_) > 0; }, limit);
}

void JackProbe::send(const std::vector<std::uint8_t>& bytes)
{
    const auto size = static_cast<std::uint32_t>(bytes.size());
    // The process callback empties the queue a period at a time.
    if (!WaitUntil([&] { return jack_ringbuffer_write_space(toSend_) >= sizeof size + size; },
                   std::chrono::seconds(10)))
        throw std::runtime_error("probe send queue full");
    // One write, so that the process callback never sees half a record.
    std::vector<char> record(sizeof size + size);
    std::memcpy(record.data(), &size, sizeof size);
    std::memcpy(record.data() + sizeof size, bytes.data(), size);
    jack_ringbuffer_write(toSend_, record.data(), record.size());
}

void JackProbe::startRun(std::vector<Timed> run)
{
    if (!WaitUntil([&] { return runPlayed(); }, std::chrono::seconds(30)))
        throw std::runtime_error("the probe's last run was never played");
    run_ = std::move(run);
    played_.assign(run_.size(), 0);
    late_.store(0, std::memory_order_relaxed);
    runPlayed_.store(false, std::memory_order_relaxed);
    armed_.store(true, std::memory_order_release);
}

bool JackProbe::runPlayed() const
{
    return runPlayed_.load(std::memory_order_acquire);
}

std::vector<std::uint64_t> JackProbe::playedFrames() const
{
    return runPlayed() ? played_ : std::vector<std::uint64_t>{};
}

std::size_t JackProbe::playedLate() const
{
    return late_.load(std::memory_order_relaxed);
}

void JackProbe::collect()
{
    EventHeader header{};
    while (jack_ringbuffer_peek(received_, reinterpret_cast<char*>(&header), sizeof header) == sizeof header
           && jack_ringbuffer_read_space(received_) >= sizeof header + header.size) {
        jack_ringbuffer_read_advance(received_, sizeof header);
        Event event;
        event.frame = header.frame;
        event.bytes.resize(header.size);
        jack_ringbuffer_read(received_, reinterpret_cast<char*>(event.bytes.data()), header.size);
        events_.push_back(std::move(event));
    }
    std::uint64_t frame = 0;
    while (jack_ringbuffer_read(queuedPlayed_, reinterpret_cast<char*>(&frame), sizeof frame) == sizeof frame)
        queuedFrames_.push_back(frame);
}

bool JackProbe::waitForEvents(std::size_t count, std::chrono::milliseconds limit)
{
    return WaitUntil(
        [&] {
            collect();
            return events_.size() >= count;
        },
        limit);
}

void JackProbe::onShutdown(void* self)
{
    static_cast<JackProbe*>(self)->serverGone_.store(true, std::memory_order_release);
}

std::vector<std::string> JackProbe::clientsJoined() const
{
    const std::lock_guard lock(clientsMutex_);
    return clientsJoined_;
}

bool JackProbe::waitForClientJoined(const std::string& name, std::chrono::milliseconds limit) const
{
    return WaitUntil(
        [&] {
            const std::vector<std::string> joined = clientsJoined();
            return std::find(joined.begin(), joined.end(), name) != joined.end();
        },
        limit);
}

// On libjack's notification thread, never the process thread: it may lock and allocate.
void JackProbe::onClientRegistration(const char* name, int registered, void* arg)
{
    if (!registered)
        return;
    auto* self = static_cast<JackProbe*>(arg);
    const std::lock_guard lock(self->clientsMutex_);
    self->clientsJoined_.emplace_back(name);
}

int JackProbe::process(jack_nframes_t frames, void* arg)
{
    auto* self = static_cast<JackProbe*>(arg);
    const jack_nframes_t cycleStart = jack_last_frame_time(self->client_);
    void* outBuffer = jack_port_get_buffer(self->out_, frames);
    jack_midi_clear_buffer(outBuffer);
    // Queued messages at the cycle's first frame, then the run's later ones:
    // a port buffer takes its events in time order.
    self->playQueued(outBuffer, cycleStart);
    self->playRun(outBuffer, cycleStart, frames);
    self->record(jack_port_get_buffer(self->in_, frames), cycleStart);
    return 0;
}

void JackProbe::playQueued(void* buffer, jack_nframes_t cycleStart)
{
    const std::uint64_t frame = cycleStart;
    std::uint32_t size = 0;
    while (jack_ringbuffer_peek(toSend_, reinterpret_cast<char*>(&size), sizeof size) == sizeof size
           && jack_ringbuffer_read_space(toSend_) >= sizeof size + size) {
        // When the port buffer is full, the rest goes in the next cycle (asked
        // first, so that libjack prints no error for a message that waits).
        jack_midi_data_t* data = size <= jack_midi_max_event_size(buffer) ? jack_midi_event_reserve(buffer, 0, size)
                                                                          : nullptr;
        if (!data)
            break;
        jack_ringbuffer_read_advance(toSend_, sizeof size);
        jack_ringbuffer_read(toSend_, reinterpret_cast<char*>(data), size);
        // Taken in with the events; a frame that finds the ring full is not recorded.
        if (jack_ringbuffer_write_space(queuedPlayed_) >= sizeof frame)
            jack_ringbuffer_write(queuedPlayed_, reinterpret_cast<const char*>(&frame), sizeof frame);
    }
}

void JackProbe::playRun(void* buffer, jack_nframes_t cycleStart, jack_nframes_t frames)
{
    if (!armed_.load(std::memory_order_acquire))
        return;
    if (!started_) {
        started_ = true;
        startFrame_ = cycleStart;
        next_ = 0;
    }
    const std::uint64_t cycleEnd = std::uint64_t{cycleStart} + frames;
    for (; next_ < run_.size(); ++next_) {
        const Timed& message = run_[next_];
        const auto due = startFrame_ + static_cast<std::uint64_t>(message.offset);
        if (due >= cycleEnd)
            break;
        const std::uint64_t at = std::max<std::uint64_t>(due, cycleStart);
        jack_midi_data_t* data =
            jack_midi_event_reserve(buffer, static_cast<jack_nframes_t>(at - cycleStart), message.bytes.size());
        if (!data)
            break;
        std::copy(message.bytes.begin(), message.bytes.end(), data);
        played_[next_] = at;
        if (at > due)
            late_.fetch_add(1, std::memory_order_relaxed);
    }
    if (next_ == run_.size()) {
        started_ = false;
        armed_.store(false, std::memory_order_relaxed);
        runPlayed_.store(true, std::memory_order_release);
    }
}

void JackProbe::record(void* buffer, jack_nframes_t cycleStart)
{
    lostEvents_.fetch_add(jack_midi_get_lost_event_count(buffer), std::memory_order_relaxed);
    const jack_nframes_t count = jack_midi_get_event_count(buffer);
    for (jack_nframes_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0)
            continue;
        const EventHeader header{std::uint64_t{cycleStart} + event.time, static_cast<std::uint32_t>(event.size)};
        if (jack_ringbuffer_write_space(received_) < sizeof header + event.size)
            break;
        // The reader waits until header and bytes are both there.
        jack_ringbuffer_write(received_, reinterpret_cast<const char*>(&header), sizeof header);
        jack_ringbuffer_write(received_, reinterpret_cast<const char*>(event.buffer), event.size);
    }
}
