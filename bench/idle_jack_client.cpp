// SPDX-License-Identifier: GPL-3.0-or-later
// The least a JACK MIDI client costs: one client with a MIDI input and a
// MIDI output connected to the given ports, whose process callback clears
// its output and reads how many events came in. Its idle CPU is the floor
// under that of any program that keeps a JACK client open.
//
// Usage: bench_idle_jack_client <source port> <destination port>
// Runs until SIGTERM or SIGINT; prints "ready" once both ports are connected.
#include "stop_signals.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <cerrno>
#include <cstdio>

namespace {

struct Ports {
    jack_port_t* in = nullptr;
    jack_port_t* out = nullptr;
};

int Process(jack_nframes_t frames, void* arg)
{
    const auto* ports = static_cast<const Ports*>(arg);
    jack_midi_clear_buffer(jack_port_get_buffer(ports->out, frames));
    static_cast<void>(jack_midi_get_event_count(jack_port_get_buffer(ports->in, frames)));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <source port> <destination port>\n", argv[0]);
        return 2;
    }
    const sigset_t stopSignals = BlockStopSignals();

    jack_client_t* client = jack_client_open("bench-idle-client", JackNoStartServer, nullptr);
    if (!client) {
        std::fprintf(stderr, "idle client: no JACK server\n");
        return 1;
    }
    Ports ports;
    ports.in = jack_port_register(client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    ports.out = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client, &Process, &ports);
    // A connection that the other side made first is as good as ours.
    const auto connect = [client](const char* source, const char* destination) {
        const int result = jack_connect(client, source, destination);
        return result == 0 || result == EEXIST;
    };
    if (!ports.in || !ports.out || jack_activate(client) != 0 || !connect(argv[1], jack_port_name(ports.in)) ||
        !connect(jack_port_name(ports.out), argv[2])) {
        std::fprintf(stderr, "idle client: cannot connect %s -> %s\n", argv[1], argv[2]);
        jack_client_close(client);
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    WaitForStopSignal(stopSignals);
    jack_deactivate(client);
    jack_client_close(client);
    return 0;
}
