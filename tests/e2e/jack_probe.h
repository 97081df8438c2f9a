#pragma once

// A JACK client of the tests' own, written against libjack directly: one MIDI
// output port ("out", what our inputs read) and one MIDI input port ("in",
// what our outputs write to). Its process callback writes the queued events
// and records the received ones with their frame times; it neither
// allocates nor locks (JACK ring buffers in both directions).

#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class JackProbe {
public:
    struct Event {
        std::vector<std::uint8_t> bytes;
        std::uint64_t frame = 0; // absolute frame time at which it was received
    };

    // Opens client `name` on the server named by JACK_DEFAULT_SERVER;
    // physical marks both ports as a hardware device's. Throws
    // std::runtime_error when there is no server.
    explicit JackProbe(const std::string& name, bool physical = false);
    ~JackProbe();
    JackProbe(const JackProbe&) = delete;
    JackProbe& operator=(const JackProbe&) = delete;

    // Full port names.
    std::string outputPort() const;
    std::string inputPort() const;

    // Every port of the server, by full name.
    std::vector<std::string> allPorts() const;

    // Queues one event for the next process cycle; waits while the queue is full.
    void send(const std::vector<std::uint8_t>& bytes);

    // Waits until at least `count` events have been received; false when the
    // limit passed first. Then returns all received so far.
    bool waitForEvents(std::size_t count, std::chrono::milliseconds limit);
    const std::vector<Event>& events() const { return events_; }

    // Wait until someone is connected to the port; false after the limit.
    bool waitForOutputConnected(std::chrono::milliseconds limit) const;
    bool waitForInputConnected(std::chrono::milliseconds limit) const;

    // Whether libjack has reported the server gone.
    bool serverGone() const { return serverGone_.load(std::memory_order_acquire); }

private:
    static int process(jack_nframes_t frames, void* self);
    static void onShutdown(void* self);
    void collect();

    jack_client_t* client_ = nullptr;
    jack_port_t* out_ = nullptr;
    jack_port_t* in_ = nullptr;
    jack_ringbuffer_t* toSend_ = nullptr;   // main thread -> process: size, bytes
    jack_ringbuffer_t* received_ = nullptr; // process -> main thread: frame, size, bytes
    std::vector<Event> events_;
    std::atomic<bool> serverGone_{false}; // set by libjack's thread
};
