#include "jack_probe_client.h"

#include "bench_note.h"

#include <jack/midiport.h>

#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>

namespace {

// A fixed pseudo-random number in [0, 1) for each sequence number (SplitMix64).
double Fraction(std::uint64_t sequence)
{
    std::uint64_t z = sequence + 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) / 9007199254740992.0;
}

} // namespace

BenchProbe::BenchProbe(const std::string& name, std::size_t capacity)
    : capacity_(capacity), sentFrames_(capacity), received_(capacity)
{
    client_ = jack_client_open(name.c_str(), static_cast<jack_options_t>(JackNoStartServer | JackUseExactName),
                               nullptr);
    if (!client_)
        throw std::runtime_error("no JACK server for the probe " + name);
    const unsigned long physical = JackPortIsPhysical | JackPortIsTerminal;
    out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput | physical, 0);
    in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput | physical, 0);
    jack_set_process_callback(client_, &BenchProbe::Process, this);
    if (!out_ || !in_ || jack_activate(client_) != 0) {
        jack_client_close(client_);
        throw std::runtime_error("cannot set up the JACK probe " + name);
    }
}

BenchProbe::~BenchProbe()
{
    jack_deactivate(client_);
    jack_client_close(client_);
}

std::string BenchProbe::OutputPort() const
{
    return jack_port_name(out_);
}

std::string BenchProbe::InputPort() const
{
    return jack_port_name(in_);
}

jack_nframes_t BenchProbe::SampleRate() const
{
    return jack_get_sample_rate(client_);
}

jack_nframes_t BenchProbe::PeriodFrames() const
{
    return jack_get_buffer_size(client_);
}

bool BenchProbe::Connected() const
{
    return jack_port_connected(out_) > 0 && jack_port_connected(in_) > 0;
}

void BenchProbe::StartRun(double rate, std::size_t count)
{
    rate_ = rate;
    count_ = std::min(count, capacity_);
    receivedCount_.store(0, std::memory_order_relaxed);
    deferred_.store(0, std::memory_order_relaxed);
    played_.store(false, std::memory_order_relaxed);
    recording_.store(true, std::memory_order_release);
    armed_.store(true, std::memory_order_release);
}

bool BenchProbe::RunPlayed() const
{
    return played_.load(std::memory_order_acquire);
}

void BenchProbe::StopRecording()
{
    recording_.store(false, std::memory_order_release);
}

std::vector<std::uint64_t> BenchProbe::SentFrames() const
{
    return {sentFrames_.begin(), sentFrames_.begin() + static_cast<std::ptrdiff_t>(count_)};
}

std::vector<BenchProbe::Received> BenchProbe::ReceivedMessages() const
{
    const std::size_t count = std::min(receivedCount_.load(std::memory_order_acquire), capacity_);
    return {received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(count)};
}

std::size_t BenchProbe::ReceivedOutsideRuns() const
{
    return outsideRuns_.load(std::memory_order_relaxed);
}

bool BenchProbe::SawNoteOffOutsideRuns() const
{
    return noteOffOutside_.load(std::memory_order_relaxed);
}

std::size_t BenchProbe::Deferred() const
{
    return deferred_.load(std::memory_order_relaxed);
}

int BenchProbe::Process(jack_nframes_t frames, void* arg)
{
    auto* self = static_cast<BenchProbe*>(arg);
    const jack_nframes_t cycleStart = jack_last_frame_time(self->client_);
    void* outBuffer = jack_port_get_buffer(self->out_, frames);
    jack_midi_clear_buffer(outBuffer);
    self->Play(outBuffer, cycleStart, frames);
    self->Record(jack_port_get_buffer(self->in_, frames), cycleStart);
    return 0;
}

void BenchProbe::Play(void* buffer, jack_nframes_t cycleStart, jack_nframes_t frames)
{
    if (!armed_.load(std::memory_order_acquire))
        return;
    if (!started_) {
        started_ = true;
        startFrame_ = cycleStart;
        next_ = 0;
    }
    const double framesPerMessage = rate_ > 0 ? jack_get_sample_rate(client_) / rate_ : 0;
    const std::uint64_t cycleEnd = std::uint64_t{cycleStart} + frames;
    for (; next_ < count_; ++next_) {
        // Each message at a random point of its own interval, so that the
        // messages fall evenly over the period instead of on a few offsets.
        const double slot = static_cast<double>(next_) + Fraction(next_);
        const auto due = startFrame_ + static_cast<std::uint64_t>(slot * framesPerMessage);
        if (due >= cycleEnd)
            break;
        // A message due in a cycle that never ran goes at the start of this one.
        const std::uint64_t at = std::max<std::uint64_t>(due, cycleStart);
        const std::array<std::uint8_t, 3> note = NoteFor(next_);
        jack_midi_data_t* data = jack_midi_event_reserve(buffer, static_cast<jack_nframes_t>(at - cycleStart), 3);
        // A full port buffer leaves the rest for the next cycle.
        if (!data)
            break;
        std::copy(note.begin(), note.end(), data);
        sentFrames_[next_] = at;
        if (at > due)
            deferred_.fetch_add(1, std::memory_order_relaxed);
    }
    if (next_ == count_) {
        started_ = false;
        armed_.store(false, std::memory_order_relaxed);
        played_.store(true, std::memory_order_release);
    }
}

void BenchProbe::Record(void* buffer, jack_nframes_t cycleStart)
{
    const bool recording = recording_.load(std::memory_order_acquire);
    const jack_nframes_t count = jack_midi_get_event_count(buffer);
    for (jack_nframes_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0)
            continue;
        const std::optional<std::uint16_t> id = NoteIdOf(event.buffer, event.size);
        if (!recording || !id) {
            outsideRuns_.fetch_add(1, std::memory_order_relaxed);
            if (event.size >= 1 && (event.buffer[0] & 0xF0) == 0x80)
                noteOffOutside_.store(true, std::memory_order_relaxed);
            continue;
        }
        const std::size_t index = receivedCount_.load(std::memory_order_relaxed);
        if (index >= capacity_)
            continue;
        received_[index] = Received{std::uint64_t{cycleStart} + event.time, *id};
        receivedCount_.store(index + 1, std::memory_order_release);
    }
}
