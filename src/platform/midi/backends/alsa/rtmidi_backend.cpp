// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/midi/backends/alsa/rtmidi_backend.h"

#include "platform/midi/backends/alsa/rtmidi_error_log.h"
#include "platform/midi/backends/port_order.h"
#include "platform/midi/backends/quiet_midi_libraries.h"
#include "platform/midi/messages/midi_stream_reading.h"

#include <alsa/asoundlib.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace {

// Constructs an RtMidi port object without a word on the console: RtMidi
// prints before it throws when no error callback is set yet.
template <class Port>
std::unique_ptr<Port> makeQuiet(RtMidi::Api api, const std::string& clientName, RtErrorLog& log)
{
    std::unique_ptr<Port> port;
    {
        const ScopedCerrSilence quiet;
        try {
            port = std::make_unique<Port>(api, clientName);
        } catch (const RtMidiError&) {
            return nullptr;
        }
    }
    port->setErrorCallback(&RtErrorLog::report, &log);
    if (port->getCurrentApi() != api)
        return nullptr;
    return port;
}

bool alsaSequencerAvailable()
{
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0)
        return false;
    snd_seq_close(seq);
    return true;
}

// The index under which an RtMidi object lists the port now.
template <class Port>
std::optional<unsigned> findPort(Port& port, const std::string& name)
{
    const unsigned count = port.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        if (port.getPortName(i) == name)
            return i;
    }
    return std::nullopt;
}

template <class Port>
void appendAlsaPorts(Port* port, const std::string& clientName, std::vector<ListedPort>& ports)
{
    if (!port)
        return;
    const unsigned count = port->getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        std::string name = port->getPortName(i);
        if (!name.empty() && !isOwnAlsaPort(name, clientName))
            ports.push_back(alsaPort(std::move(name)));
    }
}

using AlsaAddress = std::pair<int, int>;

// ALSA addresses of our open inputs, for the loop guard.
using OpenAlsaInputs = std::vector<AlsaAddress>;

class RtInputConnection final : public MidiInputConnection {
public:
    RtInputConnection(MidiBackendIdentity backend, std::unique_ptr<RtErrorLog> log, std::unique_ptr<RtMidiIn> port,
                      std::shared_ptr<OpenAlsaInputs> openInputs, std::optional<AlsaAddress> address)
        : backend_(backend), log_(std::move(log)), port_(std::move(port)), openInputs_(std::move(openInputs)),
          address_(address)
    {
        if (address_)
            openInputs_->push_back(*address_);
    }

    ~RtInputConnection() override
    {
        // RtMidi stops its input thread before this returns, so no callback
        // comes afterwards.
        port_.reset();
        if (address_) {
            const auto it = std::find(openInputs_->begin(), openInputs_->end(), *address_);
            if (it != openInputs_->end())
                openInputs_->erase(it);
        }
    }

    // RtMidi's input callback: its input thread. RtMidi may hand several
    // messages as one (see readAsMessages); a system-exclusive message with
    // real-time bytes inside is put together again in RtMidi's own buffer.
    static void onInput(double, std::vector<unsigned char>* message, void* sink)
    {
        if (!message || message->empty())
            return;
        auto& target = *static_cast<MidiInputSink*>(sink);
        readAsMessages(message->data(), message->size(), message->data(),
                       [&target](const std::uint8_t* data, std::size_t size) noexcept { target.onMessage(data, size); });
    }

    MidiBackendIdentity backendIdentity() const noexcept override { return backend_; }

private:
    MidiBackendIdentity backend_;
    std::unique_ptr<RtErrorLog> log_; // outlives the port that reports to it
    std::unique_ptr<RtMidiIn> port_;
    std::shared_ptr<OpenAlsaInputs> openInputs_;
    std::optional<AlsaAddress> address_;
};

class RtOutputConnection final : public MidiOutputConnection {
public:
    RtOutputConnection(MidiBackendIdentity backend, std::unique_ptr<RtErrorLog> log, std::unique_ptr<RtMidiOut> port)
        : backend_(backend), log_(std::move(log)), port_(std::move(port))
    {
    }

    // One thread at a time (the services' OutputSender sees to that).
    MMRESULT send(const std::uint8_t* data, std::size_t size, bool) override
    {
        log_->clear();
        port_->sendMessage(data, size);
        return log_->sendResult();
    }

    MidiBackendIdentity backendIdentity() const noexcept override { return backend_; }

private:
    MidiBackendIdentity backend_;
    std::unique_ptr<RtErrorLog> log_;
    std::unique_ptr<RtMidiOut> port_;
};

// Opens the listed port on a new RtMidi object of ours, found again by name.
template <class Port>
MMRESULT openPort(const ListedPort& entry, const std::string& clientName, const char* ourPortName,
                  std::unique_ptr<RtErrorLog>& log, std::unique_ptr<Port>& port,
                  typename RtMidiIn::RtMidiCallback callback = nullptr, void* userData = nullptr)
{
    log = std::make_unique<RtErrorLog>();
    port = makeQuiet<Port>(RtMidi::LINUX_ALSA, clientName, *log);
    if (!port)
        return MIDIERR_NODEVICE;
    const std::optional<unsigned> index = findPort(*port, entry.name);
    if (!index)
        return MIDIERR_NODEVICE;
    if constexpr (std::is_same_v<Port, RtMidiIn>) {
        // Everything reaches the services; filtering is the client's business.
        port->ignoreTypes(false, false, false);
        port->setCallback(callback, userData);
    }
    log->clear();
    port->openPort(*index, ourPortName);
    if (!port->isPortOpen() || log->openFailed())
        return MMSYSERR_ERROR;
    return MMSYSERR_NOERROR;
}

} // namespace

struct RtMidiBackend::Impl {
    // Our ALSA clients are told from another instance's by the process id:
    // ALSA lets two clients share a name.
    explicit Impl(const std::string& name) : clientName(name + "-" + std::to_string(::getpid())) {}

    std::string clientName;
    RtErrorLog alsaLog; // outlives the enumeration objects that report to it
    // One enumeration object per direction, kept for the process.
    std::unique_ptr<RtMidiIn> alsaSources;
    std::unique_ptr<RtMidiOut> alsaSinks;
    std::shared_ptr<OpenAlsaInputs> openInputs = std::make_shared<OpenAlsaInputs>();

    // The sequencer, opened on first use when there is one.
    void ensureSequencer()
    {
        if (alsaSources || !alsaSequencerAvailable())
            return;
        alsaSources = makeQuiet<RtMidiIn>(RtMidi::LINUX_ALSA, clientName, alsaLog);
        alsaSinks = makeQuiet<RtMidiOut>(RtMidi::LINUX_ALSA, clientName, alsaLog);
        if (!alsaSources || !alsaSinks) {
            alsaSources.reset();
            alsaSinks.reset();
        }
    }
};

RtMidiBackend::RtMidiBackend(const std::string& name) : d(std::make_unique<Impl>(name))
{
    silenceMidiLibraries();
}

RtMidiBackend::~RtMidiBackend() = default;

bool RtMidiBackend::serverAvailable()
{
    return alsaSequencerAvailable();
}

bool RtMidiBackend::reportsPortChanges() const
{
    return !d->alsaSources;
}

std::vector<ListedPort> RtMidiBackend::listPorts(bool inputs)
{
    d->ensureSequencer();
    std::vector<ListedPort> ports;
    if (inputs)
        appendAlsaPorts(d->alsaSources.get(), d->clientName, ports);
    else
        appendAlsaPorts(d->alsaSinks.get(), d->clientName, ports);
    orderPorts(ports);
    return ports;
}

MMRESULT RtMidiBackend::openInput(unsigned device, MidiInputSink& sink, std::unique_ptr<MidiInputConnection>& out)
{
    const ListedPort* listed = listedInput(device);
    if (!listed)
        return MMSYSERR_BADDEVICEID;
    const ListedPort& entry = *listed;
    std::unique_ptr<RtErrorLog> log;
    std::unique_ptr<RtMidiIn> port;
    const MMRESULT result = openPort(entry, d->clientName, "in", log, port, &RtInputConnection::onInput, &sink);
    if (result != MMSYSERR_NOERROR)
        return result;
    std::optional<AlsaAddress> address;
    if (entry.api == PortApi::Alsa)
        address = AlsaAddress{entry.alsaClient, entry.alsaPort};
    out = std::make_unique<RtInputConnection>(d.get(), std::move(log), std::move(port), d->openInputs, address);
    return MMSYSERR_NOERROR;
}

MMRESULT RtMidiBackend::openOutput(unsigned device, std::unique_ptr<MidiOutputConnection>& out)
{
    const ListedPort* listed = listedOutput(device);
    if (!listed)
        return MMSYSERR_BADDEVICEID;
    const ListedPort& entry = *listed;
    // Feeding a through port that our input listens to would loop every
    // message forever.
    if (feedsBack(entry, *d->openInputs))
        return MMSYSERR_ALLOCATED;
    std::unique_ptr<RtErrorLog> log;
    std::unique_ptr<RtMidiOut> port;
    const MMRESULT result = openPort(entry, d->clientName, "out", log, port);
    if (result != MMSYSERR_NOERROR)
        return result;
    out = std::make_unique<RtOutputConnection>(d.get(), std::move(log), std::move(port));
    return MMSYSERR_NOERROR;
}
