// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A JACK client of the tests' and benchmarks' own, written against libjack
// directly: one MIDI output port ("out", what the program's input reads) and
// one MIDI input port ("in", what its output writes to), standing for a
// keyboard and a synth at once. It plays messages queued one by one (sent at
// the next cycle) or a timed run (each message at an exact frame), and
// records every message it receives with the frame at which it arrived.
//
// Threading: everything but the process callback runs on the caller's
// thread. The process callback neither allocates nor locks: queued messages
// and what it receives cross in JACK ring buffers, and a timed run lives in
// arrays filled before it is armed. The names of clients that join reach the
// caller from libjack's notification thread, under a lock.

#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class JackProbe {
public:
    struct Event {
        std::vector<std::uint8_t> bytes;
        std::uint64_t frame = 0; // absolute frame time at which it was received
    };

    // One message of a timed run.
    struct Timed {
        double offset = 0; // frames after the first frame of the run
        std::array<std::uint8_t, 3> bytes{};
    };

    // Opens client `name` on the server named by JACK_DEFAULT_SERVER;
    // physical marks both ports as a hardware device's, which the program
    // lists first. Throws std::runtime_error when there is no server.
    explicit JackProbe(const std::string& name, bool physical = false);
    ~JackProbe();
    JackProbe(const JackProbe&) = delete;
    JackProbe& operator=(const JackProbe&) = delete;

    // Full port names.
    std::string outputPort() const;
    std::string inputPort() const;
    // Every port of the server, by full name.
    std::vector<std::string> allPorts() const;
    // The ports connected to `port` (any client's), by full name; none for a
    // port that does not exist.
    std::vector<std::string> connections(const std::string& port) const;
    // Connects two ports of any clients, as a patchbay does; true when they
    // are connected afterwards.
    bool connect(const std::string& source, const std::string& destination);
    // The server's sample rate and period.
    jack_nframes_t sampleRate() const;
    jack_nframes_t periodFrames() const;

    // Whether someone reads our output and someone writes our input.
    bool connected() const;
    // Connects or disconnects two ports of the server, by full name; false when refused.
    bool connectPorts(const std::string& source, const std::string& destination);
    bool disconnectPorts(const std::string& source, const std::string& destination);
    // Wait until someone is connected to the port; false after the limit.
    bool waitForOutputConnected(std::chrono::milliseconds limit) const;
    bool waitForInputConnected(std::chrono::milliseconds limit) const;

    // Queues one message for the next cycle; waits while the queue is full.
    void send(const std::vector<std::uint8_t>& bytes);

    // Plays `run` from the first frame of the next cycle on, each message at
    // its offset (rounded down to a frame); a message due in a cycle that
    // never ran, or that did not fit its cycle's port buffer, goes at the
    // start of the next cycle. Waits first for the last run to be played.
    void startRun(std::vector<Timed> run);
    // Whether every message of the last run has been played.
    bool runPlayed() const;
    // The frame at which each message of the last run was played, in order.
    std::vector<std::uint64_t> playedFrames() const;
    // Messages of the last run played after their frame.
    std::size_t playedLate() const;

    // Takes in what has been received so far.
    void collect();
    // Waits until at least `count` events have been received; false when the
    // limit passed first. Then returns all received so far.
    bool waitForEvents(std::size_t count, std::chrono::milliseconds limit);
    const std::vector<Event>& events() const { return events_; }
    // The frame at which each queued message was played, in the order they
    // were queued, as far as taken in by collect().
    const std::vector<std::uint64_t>& queuedFrames() const { return queuedFrames_; }
    // Forgets the events and the frames of queued messages taken in so far.
    void clearEvents()
    {
        events_.clear();
        queuedFrames_.clear();
    }

    // The clients that joined the server since the probe opened, in the
    // order the server announced them.
    std::vector<std::string> clientsJoined() const;
    // Waits until client `name` has joined; false after the limit. The server
    // announces clients in order: once it is seen, so is every client that
    // joined before it.
    bool waitForClientJoined(const std::string& name, std::chrono::milliseconds limit) const;

    // Events lost on the way to our input port since the probe opened, as
    // libjack counts them for the port's buffer: writers that had no room.
    std::uint64_t lostEvents() const { return lostEvents_.load(std::memory_order_relaxed); }

    // Whether libjack has reported the server gone.
    bool serverGone() const { return serverGone_.load(std::memory_order_acquire); }

private:
    static int process(jack_nframes_t frames, void* self);
    static void onShutdown(void* self);
    static void onClientRegistration(const char* name, int registered, void* self);
    void playQueued(void* buffer, jack_nframes_t cycleStart);
    void playRun(void* buffer, jack_nframes_t cycleStart, jack_nframes_t frames);
    void record(void* buffer, jack_nframes_t cycleStart);

    jack_client_t* client_ = nullptr;
    jack_port_t* out_ = nullptr;
    jack_port_t* in_ = nullptr;
    jack_ringbuffer_t* toSend_ = nullptr;   // caller -> process: size, bytes
    jack_ringbuffer_t* received_ = nullptr; // process -> caller: frame, size, bytes
    jack_ringbuffer_t* queuedPlayed_ = nullptr; // process -> caller: frame of each queued message played
    std::vector<Event> events_;
    std::vector<std::uint64_t> queuedFrames_;
    std::atomic<bool> serverGone_{false}; // set by libjack's thread
    std::atomic<std::uint64_t> lostEvents_{0}; // summed by the process thread
    mutable std::mutex clientsMutex_;      // guards clientsJoined_, filled by libjack's thread
    std::vector<std::string> clientsJoined_;

    // The timed run: written by the caller while no run is armed.
    std::vector<Timed> run_;
    std::vector<std::uint64_t> played_;
    std::atomic<bool> armed_{false};
    std::atomic<bool> runPlayed_{true};
    std::atomic<std::size_t> late_{0};
    // Process thread only, while a run is armed.
    bool started_ = false;
    std::uint64_t startFrame_ = 0;
    std::size_t next_ = 0;
};
