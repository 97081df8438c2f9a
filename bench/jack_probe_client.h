#pragma once

// The benchmark's JACK client, standing for a keyboard and a synth at once:
// its output port ("out") plays the note messages of bench_note.h at exact
// frames (at a given rate, each at a random point of its interval), its
// input port ("in") records the frame at which each comes back.
// Both ports are marked physical, so that the program, which opens the first
// devices it lists, opens them. The process callback neither allocates nor
// locks: the schedule and the records live in arrays sized up front.
//
// Threading: everything but the process callback runs on the caller's
// thread, which starts a run and reads the records once it is over.

#include <jack/jack.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class BenchProbe {
public:
    // One message that came back.
    struct Received {
        std::uint64_t frame = 0; // absolute frame time at which it arrived
        std::uint16_t id = 0;
    };

    // Opens client `name` on the server named by JACK_DEFAULT_SERVER, with
    // room for `capacity` messages each way per run. Throws std::runtime_error.
    BenchProbe(const std::string& name, std::size_t capacity);
    ~BenchProbe();
    BenchProbe(const BenchProbe&) = delete;
    BenchProbe& operator=(const BenchProbe&) = delete;

    // Full names of the port it plays on and of the port it records.
    std::string OutputPort() const;
    std::string InputPort() const;
    // The server's sample rate and period.
    jack_nframes_t SampleRate() const;
    jack_nframes_t PeriodFrames() const;

    // Whether someone reads our output and someone writes our input.
    bool Connected() const;

    // Plays `count` messages, `rate` per second, from the next cycle on;
    // with rate 0, all of them at the first frame of one cycle. Records what
    // comes back from then on.
    void StartRun(double rate, std::size_t count);
    // Whether every message of the run has been played.
    bool RunPlayed() const;
    // Stops recording.
    void StopRecording();

    // The frame at which each message of the last run was played, by sequence.
    std::vector<std::uint64_t> SentFrames() const;
    // What came back, in arrival order.
    std::vector<Received> ReceivedMessages() const;
    // Messages that came back while not recording (the program's test note).
    std::size_t ReceivedOutsideRuns() const;
    // Whether a Note Off has come back outside runs (the end of the test note).
    bool SawNoteOffOutsideRuns() const;
    // Messages of the last run played after their frame (a full port buffer, a missed cycle).
    std::size_t Deferred() const;

private:
    static int Process(jack_nframes_t frames, void* self);
    void Play(void* buffer, jack_nframes_t cycleStart, jack_nframes_t frames);
    void Record(void* buffer, jack_nframes_t cycleStart);

    jack_client_t* client_ = nullptr;
    jack_port_t* out_ = nullptr;
    jack_port_t* in_ = nullptr;
    const std::size_t capacity_;

    // The run: written by the caller before `armed_` is raised.
    double rate_ = 0;
    std::size_t count_ = 0;
    std::atomic<bool> armed_{false};
    std::atomic<bool> recording_{false};
    std::atomic<bool> played_{true};

    // Process thread only while a run is armed.
    bool started_ = false;
    std::uint64_t startFrame_ = 0;
    std::size_t next_ = 0;
    std::vector<std::uint64_t> sentFrames_;
    std::vector<Received> received_;
    std::atomic<std::size_t> receivedCount_{0};
    std::atomic<std::size_t> outsideRuns_{0};
    std::atomic<bool> noteOffOutside_{false};
    std::atomic<std::size_t> deferred_{0};
};
