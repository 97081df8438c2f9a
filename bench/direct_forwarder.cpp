// SPDX-License-Identifier: GPL-3.0-or-later
// The best any RtMidi program can do: a JACK input whose callback maps the
// second data byte through the default curve and sends the message at once,
// on the callback thread, through a JACK output. The benchmark over JACK
// measures it beside the program.
//
// Usage: bench_direct_forwarder <source port> <destination port>
// Runs until SIGTERM or SIGINT; prints "ready" once both ports are connected.
#include "curve/curve_points.h"
#include "curve/transfer_table.h"
#include "stop_signals.h"

#include <rtmidi/RtMidi.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Forwarder {
    TTransferTable table = BuildTransferTable(DefaultCurvePoints);
    std::unique_ptr<RtMidiOut> out;
};

// The input callback: JACK's process thread.
void Forward(double, std::vector<unsigned char>* message, void* arg)
{
    auto* forwarder = static_cast<Forwarder*>(arg);
    if (message->size() >= 3 && (*message)[2] < 128)
        (*message)[2] = forwarder->table[(*message)[2]];
    forwarder->out->sendMessage(message->data(), message->size());
}

template <class Port>
bool OpenByName(Port& port, const std::string& name, const char* ourName)
{
    const unsigned count = port.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        if (port.getPortName(i) == name) {
            port.openPort(i, ourName);
            return port.isPortOpen();
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <source port> <destination port>\n", argv[0]);
        return 2;
    }
    const sigset_t stopSignals = BlockStopSignals();

    Forwarder forwarder;
    try {
        forwarder.out = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "direct-forwarder");
        RtMidiIn in(RtMidi::UNIX_JACK, "direct-forwarder");
        in.ignoreTypes(false, false, false);
        in.setCallback(&Forward, &forwarder);
        if (!OpenByName(*forwarder.out, argv[2], "out") || !OpenByName(in, argv[1], "in")) {
            std::fprintf(stderr, "direct forwarder: cannot open %s -> %s\n", argv[1], argv[2]);
            return 1;
        }
        std::printf("ready\n");
        std::fflush(stdout);
        WaitForStopSignal(stopSignals);
        in.closePort();
    } catch (const RtMidiError& error) {
        std::fprintf(stderr, "direct forwarder: %s\n", error.getMessage().c_str());
        return 1;
    }
    return 0;
}
