#include "jack_probe.h"

#include <jack/midiport.h>

#include <cstring>
#include <stdexcept>
#include <thread>

namespace {

// Room for a long system-exclusive message between two collections.
constexpr std::size_t RingSize = 1 << 20;

struct EventHeader {
    std::uint64_t frame;
    std::uint32_t size;
};

template <class Predicate>
bool waitUntil(Predicate done, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace

// Under ThreadSanitizer: libjack's ring buffers (ours here, and RtMidi's
// JACK output) synchronise through plain memory barriers, which TSan cannot
// see in an uninstrumented library, so the copies they guard would be
// reported as races. Only those are set aside. Linked into every test that
// uses the probe.
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
    jack_set_process_callback(client_, &JackProbe::process, this);
    jack_on_shutdown(client_, &JackProbe::onShutdown, this);
    if (!out_ || !in_ || !toSend_ || !received_ || jack_activate(client_) != 0)
        throw std::runtime_error("cannot set up the JACK probe " + name);
}

JackProbe::~JackProbe()
{
    // A client whose server has gone can only be closed.
    if (!serverGone())
        jack_deactivate(client_);
    jack_client_close(client_);
    jack_ringbuffer_free(toSend_);
    jack_ringbuffer_free(received_);
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

void JackProbe::send(const std::vector<std::uint8_t>& bytes)
{
    const auto size = static_cast<std::uint32_t>(bytes.size());
    // The process callback empties the queue a period at a time.
    if (!waitUntil([&] { return jack_ringbuffer_write_space(toSend_) >= sizeof size + size; },
                   std::chrono::seconds(10)))
        throw std::runtime_error("probe send queue full");
    // One write, so that the process callback never sees half a record.
    std::vector<char> record(sizeof size + size);
    std::memcpy(record.data(), &size, sizeof size);
    std::memcpy(record.data() + sizeof size, bytes.data(), size);
    jack_ringbuffer_write(toSend_, record.data(), record.size());
}

bool JackProbe::waitForEvents(std::size_t count, std::chrono::milliseconds limit)
{
    return waitUntil(
        [&] {
            collect();
            return events_.size() >= count;
        },
        limit);
}

bool JackProbe::waitForOutputConnected(std::chrono::milliseconds limit) const
{
    return waitUntil([&] { return jack_port_connected(out_) > 0; }, limit);
}

bool JackProbe::waitForInputConnected(std::chrono::milliseconds limit) const
{
    return waitUntil([&] { return jack_port_connected(in_) > 0; }, limit);
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
}

void JackProbe::onShutdown(void* self)
{
    static_cast<JackProbe*>(self)->serverGone_.store(true, std::memory_order_release);
}

int JackProbe::process(jack_nframes_t frames, void* arg)
{
    auto* self = static_cast<JackProbe*>(arg);
    const jack_nframes_t cycleStart = jack_last_frame_time(self->client_);

    void* outBuffer = jack_port_get_buffer(self->out_, frames);
    jack_midi_clear_buffer(outBuffer);
    std::uint32_t size = 0;
    while (jack_ringbuffer_peek(self->toSend_, reinterpret_cast<char*>(&size), sizeof size) == sizeof size
           && jack_ringbuffer_read_space(self->toSend_) >= sizeof size + size) {
        jack_midi_data_t* data = jack_midi_event_reserve(outBuffer, 0, size);
        if (!data)
            break; // the port buffer is full: the rest goes in the next cycle
        jack_ringbuffer_read_advance(self->toSend_, sizeof size);
        jack_ringbuffer_read(self->toSend_, reinterpret_cast<char*>(data), size);
    }

    void* inBuffer = jack_port_get_buffer(self->in_, frames);
    const jack_nframes_t count = jack_midi_get_event_count(inBuffer);
    for (jack_nframes_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, inBuffer, i) != 0)
            continue;
        const EventHeader header{std::uint64_t{cycleStart} + event.time, static_cast<std::uint32_t>(event.size)};
        if (jack_ringbuffer_write_space(self->received_) < sizeof header + event.size)
            break;
        // The reader waits until header and bytes are both there.
        jack_ringbuffer_write(self->received_, reinterpret_cast<const char*>(&header), sizeof header);
        jack_ringbuffer_write(self->received_, reinterpret_cast<const char*>(event.buffer), event.size);
    }
    return 0;
}
