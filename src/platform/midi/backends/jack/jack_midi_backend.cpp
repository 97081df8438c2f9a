// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/midi/backends/jack/jack_midi_backend.h"

#include "platform/midi/backends/quiet_midi_libraries.h"
#include "platform/midi/messages/midi_message.h"
#include "platform/midi/messages/midi_status.h"
#include "platform/midi/messages/midi_stream_reading.h"
#include "platform/notification_window.h"
#include "platform/spsc_record_ring.h"

#include <QTimer>

#include <jack/jack.h>
#include <jack/metadata.h>
#include <jack/midiport.h>
#include <jack/uuid.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace {

// What other threads hand over for the output: room for a message of 1 MiB
// and more. What the route could not write in its cycle waits in a ring of
// its own.
constexpr std::size_t QueuedBytes = 2 * 1024 * 1024;
constexpr std::size_t CarriedBytes = 256 * 1024;
// A long message handed over leaves in pieces of at most this many bytes,
// which receivers put together again: a port buffer holds a few of them.
constexpr std::size_t PieceBytes = 4096;

// How long after a port's registration or removal it is looked at again.
constexpr int SettleMs = 200;

// Notifications from libjack's threads to the main thread.
// The metadata key by which every copy of the program marks its JACK client,
// so that copies know each other's ports.
constexpr const char* ProgramKey = "urn:velomorph:program";
constexpr const char* ProgramValue = "Velomorph";

// The UUID of the client named `clientName`; false when it has gone.
bool ClientUuid(jack_client_t* client, const std::string& clientName, jack_uuid_t& uuid)
{
    char* text = jack_get_uuid_for_client_name(client, clientName.c_str());
    if (!text)
        return false;
    const bool parsed = jack_uuid_parse(text, &uuid) == 0;
    jack_free(text);
    return parsed;
}

// Whether the client named `clientName` is a copy of this program.
bool IsProgramCopy(jack_client_t* client, const std::string& clientName)
{
    jack_uuid_t uuid{};
    if (!ClientUuid(client, clientName, uuid))
        return false;
    char* value = nullptr;
    char* type = nullptr;
    if (jack_get_property(uuid, ProgramKey, &value, &type) != 0)
        return false;
    const bool copy = value && std::strcmp(value, ProgramValue) == 0;
    jack_free(value);
    jack_free(type);
    return copy;
}

constexpr std::uint32_t NotifyServerGone = 1;
constexpr std::uint32_t NotifyPortsChanged = 2;
constexpr std::uint32_t NotifyConnectionsChanged = 3;

struct InputState {
    explicit InputState(MidiInputSink& s) : sink(s) {}
    MidiInputSink& sink;
    // The map of a route to the client's own output; null without one.
    std::atomic<const ThruMap*> route{nullptr};
    ThruCarry carry; // process thread only
};

struct OutputState {
    SpscRecordRing queued{QueuedBytes};   // from the sending thread
    SpscRecordRing carried{CarriedBytes}; // process thread only
    std::size_t queuedWritten = 0;        // process thread: bytes of the oldest queued record written
    // Process thread: whether the routed stream stands inside a
    // system-exclusive message (its start written or carried, its end not
    // yet), and for how many frames it has.
    bool routedSysexOpen = false;
    jack_nframes_t routedSysexFrames = 0;
};

class JackInputConnection;
class JackOutputConnection;

// Our client on one run of a server.
struct Session {
    jack_client_t* client = nullptr;
    jack_port_t* in = nullptr;
    jack_port_t* out = nullptr;
    std::string name;    // the client's name on the server
    std::string inName;  // full names of our ports
    std::string outName;
    // How long the queued messages wait for the end of a routed
    // system-exclusive message, at most: 100 ms at the server's rate.
    jack_nframes_t sysexWaitFrames = 0;
    std::atomic<bool> running{true}; // false once the server has gone
    std::atomic<int> inProcess{0};
    std::atomic<InputState*> input{nullptr};
    std::atomic<OutputState*> output{nullptr};
    std::atomic<NotificationWindow*> window{nullptr};
    // Main thread: the open connections, to report them lost.
    JackInputConnection* openInput = nullptr;
    JackOutputConnection* openOutput = nullptr;

    // Returns once the process callback no longer uses what it read before a
    // change: a cycle runs for a bounded time, and none runs once the server
    // has gone.
    void waitForProcess() const noexcept
    {
        while (inProcess.load(std::memory_order_seq_cst) != 0)
            std::this_thread::yield();
    }

    // Any thread.
    void post(std::uint32_t message) noexcept
    {
        if (NotificationWindow* target = window.load(std::memory_order_acquire))
            target->post(message, reinterpret_cast<std::uintptr_t>(this), 0);
    }

    // Whether the server lists a MIDI port of that name. The port's own
    // record (jack_port_by_name) outlives a client that was killed, so the
    // list is asked, as the device lists are made.
    bool hasPort(const std::string& portName) const
    {
        if (!running.load(std::memory_order_acquire))
            return false;
        const char** names = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, 0);
        bool found = false;
        for (const char** name = names; name && *name && !found; ++name)
            found = portName == *name;
        jack_free(names);
        return found;
    }
};

// A client whose server has gone stays, unclosed, until the process ends;
// kept reachable, so that no leak checker reports it, and so that a late call
// from libjack's threads still finds its session.
void abandon(std::shared_ptr<Session> session)
{
    static auto* abandoned = new std::vector<std::shared_ptr<Session>>;
    session->window.store(nullptr, std::memory_order_release);
    abandoned->push_back(std::move(session));
}

// Writes one cycle's output events in order; what finds no room waits in
// the carried ring. Process thread only.
class CycleWriter {
public:
    CycleWriter(void* buffer, OutputState* state) noexcept : buffer_(state ? buffer : nullptr), state_(state) {}

    // What waited from earlier cycles, then what other threads handed over.
    // These never go inside a routed system-exclusive message (a byte-stream
    // receiver would take it as ended there), unless that message has been
    // open for `sysexWaitFrames`: one that never ends holds nothing for ever.
    void writeWaiting(jack_nframes_t sysexWaitFrames) noexcept
    {
        if (!state_)
            return;
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
        while (state_->carried.front(data, size)) {
            if (!tryWrite(0, data, size))
                return;
            state_->carried.pop();
        }
        if (state_->routedSysexOpen && state_->routedSysexFrames < sysexWaitFrames)
            return;
        while (state_->queued.front(data, size)) {
            while (state_->queuedWritten < size) {
                const std::size_t left = size - state_->queuedWritten;
                const std::size_t piece = data[0] == midi::SysexStart && left > PieceBytes ? PieceBytes : left;
                if (!tryWrite(0, data + state_->queuedWritten, piece))
                    return;
                state_->queuedWritten += piece;
            }
            state_->queued.pop();
            state_->queuedWritten = 0;
        }
    }

    // A routed event at its frame, or carried over; false when it is lost.
    bool writeRouted(jack_nframes_t time, const std::uint8_t* data, std::size_t size) noexcept
    {
        if (!state_)
            return false;
        if (!full_ && tryWrite(time, data, size))
            return true;
        return state_->carried.push(data, size);
    }

    // After each routed message: whether a system-exclusive message is now
    // open in the routed stream. Only a start that left opens one; its end,
    // or anything that ends it early on the input, closes it; a real-time
    // byte between its pieces leaves it open.
    void followRouted(const std::uint8_t* data, ThruOutcome outcome, const ThruCarry& carry) noexcept
    {
        if (!state_)
            return;
        const bool opened = outcome == ThruSent && data[0] == midi::SysexStart;
        const bool open = carry.inLong && (state_->routedSysexOpen || opened);
        if (open && !state_->routedSysexOpen)
            state_->routedSysexFrames = 0;
        state_->routedSysexOpen = open;
    }

    // At the end of the cycle: the time a routed system-exclusive message has been open.
    void endCycle(jack_nframes_t frames) noexcept
    {
        if (state_ && state_->routedSysexOpen && state_->routedSysexFrames < ~jack_nframes_t{0} - frames)
            state_->routedSysexFrames += frames;
    }

private:
    bool tryWrite(jack_nframes_t time, const std::uint8_t* data, std::size_t size) noexcept
    {
        if (full_)
            return false;
        // The room is asked first: a reserve that fails counts an event lost
        // for the receivers (jack_midi_get_lost_event_count), while this one
        // only waits for the next cycle. Times never go back within a cycle,
        // which reserve requires.
        if (time < lastTime_)
            time = lastTime_;
        jack_midi_data_t* target =
            size <= jack_midi_max_event_size(buffer_) ? jack_midi_event_reserve(buffer_, time, size) : nullptr;
        if (!target) {
            // Once one event waits, every later one waits behind it.
            full_ = true;
            return false;
        }
        std::memcpy(target, data, size);
        lastTime_ = time;
        return true;
    }

    void* buffer_;
    OutputState* state_;
    jack_nframes_t lastTime_ = 0;
    bool full_ = false;
};

// One message of an event through the input's route and on to its sink.
void routeMessage(const ThruMap& map, CycleWriter& writer, InputState& input, jack_nframes_t time,
                  const std::uint8_t* data, std::size_t size) noexcept
{
    const ThruDecision decision = decideThru(map, data, size, input.carry);
    ThruOutcome outcome = decision.outcome;
    if (outcome == ThruSent && !writer.writeRouted(time, decision.bytes(), decision.size))
        outcome = ThruLost;
    writer.followRouted(data, outcome, input.carry);
    countThruOutcome(map, outcome);
    input.sink.onRoutedMessage(data, size, outcome);
}

// Whether an event holds more than one message (running status, several
// messages, a real-time byte inside one), to be read as a byte stream. A
// system-exclusive piece (a start, or data bytes or an end that continue
// one) passes whole, as it came; so does a single message, at no cost.
bool holdsSeveralMessages(const jack_midi_event_t& event) noexcept
{
    const std::uint8_t first = event.buffer[0];
    return midi::IsStatus(first) && first != midi::SysexStart && first != midi::SysexEnd
        && event.size > shortMessageSize(first);
}

int process(jack_nframes_t frames, void* arg) noexcept
{
    Session& session = *static_cast<Session*>(arg);
    // Counted before the states are read: a main thread that takes a state
    // away, then waits for the count, never frees what this cycle uses.
    session.inProcess.fetch_add(1, std::memory_order_seq_cst);
    InputState* input = session.input.load(std::memory_order_seq_cst);
    OutputState* output = session.output.load(std::memory_order_seq_cst);

    void* outBuffer = jack_port_get_buffer(session.out, frames);
    jack_midi_clear_buffer(outBuffer);
    CycleWriter writer(outBuffer, output);
    writer.writeWaiting(session.sysexWaitFrames);

    void* inBuffer = jack_port_get_buffer(session.in, frames);
    const std::uint32_t count = input ? jack_midi_get_event_count(inBuffer) : 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, inBuffer, i) != 0 || event.size == 0)
            continue;
        const ThruMap* route = input->route.load(std::memory_order_acquire);
        const bool several = holdsSeveralMessages(event);
        if (!route) {
            if (several)
                readAsMessages(event.buffer, event.size, nullptr,
                               [input](const std::uint8_t* data, std::size_t size) noexcept {
                                   input->sink.onMessage(data, size);
                               });
            else
                input->sink.onMessage(event.buffer, event.size);
            continue;
        }
        // Each message at the event's frame; the buffer is the writer's own
        // (JACK passes it without a copy), so it is only read.
        if (several)
            readAsMessages(event.buffer, event.size, nullptr,
                           [&](const std::uint8_t* data, std::size_t size) noexcept {
                               routeMessage(*route, writer, *input, event.time, data, size);
                           });
        else
            routeMessage(*route, writer, *input, event.time, event.buffer, event.size);
    }
    writer.endCycle(frames);
    session.inProcess.fetch_sub(1, std::memory_order_release);
    return 0;
}

void onShutdown(jack_status_t, const char*, void* arg)
{
    auto& session = *static_cast<Session*>(arg);
    session.running.store(false, std::memory_order_release);
    session.post(NotifyServerGone);
}

void onPortRegistration(jack_port_id_t, int, void* arg)
{
    static_cast<Session*>(arg)->post(NotifyPortsChanged);
}

void onPortRename(jack_port_id_t, const char*, const char*, void* arg)
{
    static_cast<Session*>(arg)->post(NotifyPortsChanged);
}

void onPortConnect(jack_port_id_t, jack_port_id_t, int, void* arg)
{
    static_cast<Session*>(arg)->post(NotifyConnectionsChanged);
}

// Connects a pair of ports; `made` tells whether this call made the
// connection (false when it was there already).
bool connectPorts(Session& session, const std::string& source, const std::string& destination, bool& made)
{
    const int result = jack_connect(session.client, source.c_str(), destination.c_str());
    made = result == 0;
    return result == 0 || result == EEXIST;
}

void disconnectPorts(Session& session, const std::string& source, const std::string& destination)
{
    if (session.running.load(std::memory_order_acquire))
        jack_disconnect(session.client, source.c_str(), destination.c_str());
}

// The session's members for each direction, and which way its connection
// runs: a device's port feeds our input; our output feeds a device's port.
template <class State>
struct Direction;

template <>
struct Direction<InputState> {
    static std::atomic<InputState*>& slot(Session& session) { return session.input; }
    static JackInputConnection*& open(Session& session) { return session.openInput; }
    static const std::string& source(const Session&, const std::string& device) { return device; }
    static const std::string& destination(const Session& session, const std::string&) { return session.inName; }
};

template <>
struct Direction<OutputState> {
    static std::atomic<OutputState*>& slot(Session& session) { return session.output; }
    static JackOutputConnection*& open(Session& session) { return session.openOutput; }
    static const std::string& source(const Session& session, const std::string&) { return session.outName; }
    static const std::string& destination(const Session&, const std::string& device) { return device; }
};

// What an open connection holds: its session, which knows it as its open
// connection of that direction, the state that the process callback reads
// through one of the session's slots, and the device's port, connected to
// ours (by us, or by hand before: then it stays connected).
template <class State, class Owner>
struct JackLink {
    JackLink(std::shared_ptr<Session> session_, Owner* owner, std::unique_ptr<State> state_, std::string device_,
             bool connected_)
        : session(std::move(session_)), state(std::move(state_)), device(std::move(device_)), connected(connected_)
    {
        Direction<State>::open(*session) = owner;
    }

    // Takes the state away from the process callback, then ends the
    // connection between the device's port and ours if we made it.
    ~JackLink()
    {
        Direction<State>::open(*session) = nullptr;
        Direction<State>::slot(*session).store(nullptr, std::memory_order_seq_cst);
        session->waitForProcess();
        if (connected)
            disconnectPorts(*session, Direction<State>::source(*session, device),
                            Direction<State>::destination(*session, device));
    }

    JackLink(const JackLink&) = delete;
    JackLink& operator=(const JackLink&) = delete;

    std::shared_ptr<Session> session;
    std::unique_ptr<State> state;
    std::string device;
    bool connected;    // made by us, not found made by hand
    bool lost = false; // main thread: reported lost already
};

class JackInputConnection final : public MidiInputConnection {
public:
    JackInputConnection(std::shared_ptr<Session> session, std::unique_ptr<InputState> state, std::string device,
                        bool connected)
        : link(std::move(session), this, std::move(state), std::move(device), connected)
    {
    }

    MMRESULT connectThru(MidiOutputConnection& output, const ThruMap& map) override;

    void disconnectThru() override
    {
        link.state->route.store(nullptr, std::memory_order_seq_cst);
        link.session->waitForProcess();
    }

    JackLink<InputState, JackInputConnection> link;
};

class JackOutputConnection final : public MidiOutputConnection {
public:
    JackOutputConnection(std::shared_ptr<Session> session, std::unique_ptr<OutputState> state, std::string device,
                         bool connected)
        : link(std::move(session), this, std::move(state), std::move(device), connected)
    {
    }

    // One thread at a time; the message waits for the next cycle. Nothing
    // waits for a server that has gone: its messages are lost at once.
    MMRESULT send(const std::uint8_t* data, std::size_t size, bool) override
    {
        if (!link.session->running.load(std::memory_order_acquire))
            return MIDIERR_SENDQUEUEFULL;
        return link.state->queued.push(data, size) ? MMSYSERR_NOERROR : MIDIERR_SENDQUEUEFULL;
    }

    JackLink<OutputState, JackOutputConnection> link;
};

// Publishes the state to the process callback, then connects the device's
// port and ours, so that nothing that arrives once connected is missed.
template <class Connection, class State, class Base>
MMRESULT openConnection(const std::shared_ptr<Session>& shared, const ListedPort* port, std::unique_ptr<State> state,
                        std::unique_ptr<Base>& out)
{
    if (!port)
        return MMSYSERR_BADDEVICEID;
    const std::string name = port->name;
    Session* session = shared.get();
    // A server that has gone since the listing: the port has gone with it.
    if (!session || !session->hasPort(name))
        return MIDIERR_NODEVICE;
    if (Direction<State>::open(*session))
        return MMSYSERR_ALLOCATED;
    std::atomic<State*>& slot = Direction<State>::slot(*session);
    slot.store(state.get(), std::memory_order_seq_cst);
    bool made = false;
    if (!connectPorts(*session, Direction<State>::source(*session, name), Direction<State>::destination(*session, name),
                      made)) {
        slot.store(nullptr, std::memory_order_seq_cst);
        session->waitForProcess();
        return MMSYSERR_ERROR;
    }
    out = std::make_unique<Connection>(shared, std::move(state), name, made);
    return MMSYSERR_NOERROR;
}

// Publishes the state of our own port to the process callback, connecting
// nothing: whatever is connected to the port, by anyone, is its traffic.
template <class Connection, class State, class Base>
MMRESULT openGraphConnection(const std::shared_ptr<Session>& shared, std::unique_ptr<State> state,
                             std::unique_ptr<Base>& out)
{
    Session* session = shared.get();
    if (!session || !session->running.load(std::memory_order_acquire))
        return MIDIERR_NODEVICE;
    if (Direction<State>::open(*session))
        return MMSYSERR_ALLOCATED;
    Direction<State>::slot(*session).store(state.get(), std::memory_order_seq_cst);
    out = std::make_unique<Connection>(shared, std::move(state), std::string(), false);
    return MMSYSERR_NOERROR;
}

MMRESULT JackInputConnection::connectThru(MidiOutputConnection& output, const ThruMap& map)
{
    // Only the client's own output is written in the process callback.
    const auto* jackOutput = dynamic_cast<const JackOutputConnection*>(&output);
    if (!jackOutput || jackOutput->link.session != link.session)
        return MMSYSERR_NOTSUPPORTED;
    link.state->carry = ThruCarry{};
    link.state->route.store(&map, std::memory_order_seq_cst);
    return MMSYSERR_NOERROR;
}

} // namespace

struct JackMidiBackend::Impl {
    explicit Impl(std::string name)
        : askedName(std::move(name)), window([this](TMessage& message) { onNotification(message); })
    {
        // libjack tells of a port's registration or removal while the port
        // is still being added or taken away: once things have settled, the
        // same is looked at again.
        settle.setSingleShot(true);
        settle.setInterval(SettleMs);
        QObject::connect(&settle, &QTimer::timeout, [this] {
            if (session)
                report(*session, false);
        });
    }

    ~Impl()
    {
        if (!session)
            return;
        session->window.store(nullptr, std::memory_order_release);
        if (session->running.load(std::memory_order_acquire)) {
            jack_deactivate(session->client);
            jack_client_close(session->client);
        } else {
            abandon(std::move(session));
        }
    }

    // A client on the running server, opened when none is; false without a server.
    bool ensureSession()
    {
        if (session && session->running.load(std::memory_order_acquire))
            return true;
        if (session)
            abandon(std::move(session));
        auto fresh = std::make_shared<Session>();
        fresh->client = jack_client_open(askedName.c_str(), JackNoStartServer, nullptr);
        if (!fresh->client)
            return false;
        fresh->name = jack_get_client_name(fresh->client);
        fresh->in = jack_port_register(fresh->client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        fresh->out = jack_port_register(fresh->client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        fresh->window.store(&window, std::memory_order_release);
        fresh->sysexWaitFrames = jack_get_sample_rate(fresh->client) / 10;
        jack_on_info_shutdown(fresh->client, &onShutdown, fresh.get());
        jack_set_port_registration_callback(fresh->client, &onPortRegistration, fresh.get());
        jack_set_port_rename_callback(fresh->client, &onPortRename, fresh.get());
        jack_set_port_connect_callback(fresh->client, &onPortConnect, fresh.get());
        if (!fresh->in || !fresh->out || jack_set_process_callback(fresh->client, &process, fresh.get()) != 0
            || jack_activate(fresh->client) != 0) {
            fresh->window.store(nullptr, std::memory_order_release);
            jack_client_close(fresh->client);
            return false;
        }
        fresh->inName = jack_port_name(fresh->in);
        fresh->outName = jack_port_name(fresh->out);
        // Other copies leave our ports out of their choices by default; a
        // server without metadata only loses that guard.
        jack_uuid_t own{};
        if (ClientUuid(fresh->client, fresh->name, own))
            static_cast<void>(jack_set_property(fresh->client, own, ProgramKey, ProgramValue, "text/plain"));
        session = std::move(fresh);
        return true;
    }

    void collect(unsigned long flags, std::vector<ListedPort>& ports)
    {
        const char** names = jack_get_ports(session->client, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
        if (!names)
            return;
        const std::string own = session->name + ":";
        std::map<std::string, bool> copies; // by client name, asked once a listing
        for (const char** name = names; *name; ++name) {
            std::string portName = *name;
            if (portName.compare(0, own.size(), own) == 0)
                continue;
            const jack_port_t* port = jack_port_by_name(session->client, *name);
            const bool physical = port && (jack_port_flags(port) & JackPortIsPhysical);
            const std::string clientName = portName.substr(0, portName.find(':'));
            const auto known = copies.find(clientName);
            const bool copy = known != copies.end()
                ? known->second
                : copies.emplace(clientName, IsProgramCopy(session->client, clientName)).first->second;
            ports.push_back(jackPort(std::move(portName), physical, copy));
        }
        jack_free(names);
    }

    // Main thread: what libjack's threads reported.
    void onNotification(TMessage& message)
    {
        // A session that has gone since it posted is kept, abandoned: the
        // pointer still leads to it.
        auto* reporter = reinterpret_cast<Session*>(message.WParam);
        if (message.Msg == NotifyConnectionsChanged) {
            if (events)
                events->portsChanged();
            return;
        }
        report(*reporter, message.Msg == NotifyServerGone);
        if (message.Msg == NotifyPortsChanged)
            settle.start();
    }

    // Tells the services which open devices of the session have gone, and
    // that the lists may have changed.
    void report(Session& reporter, bool serverGone)
    {
        JackInputConnection* input = reporter.openInput;
        JackOutputConnection* output = reporter.openOutput;
        // A device is lost with its server, or when its port goes or is
        // renamed; our own port (no device) only with its server.
        const auto gone = [&](const std::string& device) {
            return serverGone || (!device.empty() && !reporter.hasPort(device));
        };
        const bool inputLost = input && !input->link.lost && gone(input->link.device);
        const bool outputLost = output && !output->link.lost && gone(output->link.device);
        if (inputLost)
            input->link.lost = true;
        if (outputLost)
            output->link.lost = true;
        if (!events)
            return;
        if (inputLost)
            events->inputLost(*input);
        if (outputLost)
            events->outputLost(*output);
        events->portsChanged();
    }

    const std::string askedName;
    NotificationWindow window;
    QTimer settle;
    std::shared_ptr<Session> session;
    MidiBackendEvents* events = nullptr;
};

JackMidiBackend::JackMidiBackend(std::string name) : d(std::make_unique<Impl>(std::move(name)))
{
    silenceMidiLibraries();
}

JackMidiBackend::~JackMidiBackend() = default;

std::string JackMidiBackend::clientName() const
{
    return d->session && d->session->running.load(std::memory_order_acquire) ? d->session->name : std::string();
}

void JackMidiBackend::setEvents(MidiBackendEvents* events)
{
    d->events = events;
}

bool JackMidiBackend::serverAvailable()
{
    return d->ensureSession();
}

bool JackMidiBackend::reportsPortChanges() const
{
    return d->session && d->session->running.load(std::memory_order_acquire);
}

std::vector<ListedPort> JackMidiBackend::listPorts(bool inputs)
{
    std::vector<ListedPort> ports;
    // Our inputs read from the server's output ports, and the other way round.
    if (d->ensureSession())
        d->collect(inputs ? JackPortIsOutput : JackPortIsInput, ports);
    return ports;
}

MMRESULT JackMidiBackend::openInput(unsigned device, MidiInputSink& sink, std::unique_ptr<MidiInputConnection>& out)
{
    return openConnection<JackInputConnection>(d->session, listedInput(device), std::make_unique<InputState>(sink),
                                               out);
}

MMRESULT JackMidiBackend::openOutput(unsigned device, std::unique_ptr<MidiOutputConnection>& out)
{
    return openConnection<JackOutputConnection>(d->session, listedOutput(device), std::make_unique<OutputState>(),
                                                out);
}

bool JackMidiBackend::hasGraph()
{
    return d->ensureSession();
}

std::string JackMidiBackend::graphPortName(bool input)
{
    return input ? d->session->inName : d->session->outName;
}

MMRESULT JackMidiBackend::openGraphInput(MidiInputSink& sink, std::unique_ptr<MidiInputConnection>& out)
{
    if (!d->ensureSession())
        return MIDIERR_NODEVICE;
    return openGraphConnection<JackInputConnection>(d->session, std::make_unique<InputState>(sink), out);
}

MMRESULT JackMidiBackend::openGraphOutput(std::unique_ptr<MidiOutputConnection>& out)
{
    if (!d->ensureSession())
        return MIDIERR_NODEVICE;
    return openGraphConnection<JackOutputConnection>(d->session, std::make_unique<OutputState>(), out);
}

std::vector<std::string> JackMidiBackend::graphConnections(bool input)
{
    std::vector<std::string> names;
    if (!d->session || !d->session->running.load(std::memory_order_acquire))
        return names;
    const char** connected =
        jack_port_get_all_connections(d->session->client, input ? d->session->in : d->session->out);
    for (const char** name = connected; name && *name; ++name)
        names.emplace_back(*name);
    jack_free(connected);
    return names;
}

bool JackMidiBackend::isGraphDevice(bool input, const std::string& device)
{
    if (!d->ensureSession())
        return false;
    // A name is enough: no need to ask which client is another copy.
    const std::string own = d->session->name + ":";
    if (device.compare(0, own.size(), own) == 0)
        return false;
    const char** names =
        jack_get_ports(d->session->client, nullptr, JACK_DEFAULT_MIDI_TYPE, input ? JackPortIsOutput : JackPortIsInput);
    bool found = false;
    for (const char** name = names; name && *name && !found; ++name)
        found = device == *name;
    jack_free(names);
    return found;
}

MMRESULT JackMidiBackend::connectGraph(bool input, const std::string& device, bool connect)
{
    if (!d->session || !d->session->running.load(std::memory_order_acquire))
        return MIDIERR_NODEVICE;
    Session& session = *d->session;
    const std::string& source = input ? device : session.outName;
    const std::string& destination = input ? session.inName : device;
    if (!connect) {
        const int result = jack_disconnect(session.client, source.c_str(), destination.c_str());
        return result == 0 || !jack_port_connected_to(input ? session.in : session.out, device.c_str())
            ? MMSYSERR_NOERROR
            : MMSYSERR_ERROR;
    }
    bool made = false;
    return connectPorts(session, source, destination, made) ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}
