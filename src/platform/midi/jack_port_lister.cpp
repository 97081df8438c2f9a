#include "platform/midi/jack_port_lister.h"

#include "platform/midi/quiet_midi_libraries.h"

#include <jack/jack.h>

JackServerWatch::JackServerWatch(std::shared_ptr<const std::atomic<bool>> session, std::string clientName)
    : session_(std::move(session)), clientName_(std::move(clientName))
{
}

bool JackServerWatch::serverRunning() const
{
    if (session_ && !session_->load(std::memory_order_acquire))
        return false;
    jack_client_t* client = jack_client_open(clientName_.c_str(), JackNoStartServer, nullptr);
    if (!client)
        return false;
    jack_client_close(client);
    return true;
}

JackPortLister::JackPortLister(std::string clientName) : clientName_(std::move(clientName))
{
    silenceMidiLibraries();
}

JackPortLister::~JackPortLister()
{
    disconnect();
}

void JackPortLister::list(std::vector<ListedPort>& inputs, std::vector<ListedPort>& outputs)
{
    inputs.clear();
    outputs.clear();
    if (session_ && !session_->load(std::memory_order_acquire))
        disconnect();
    if (!client_ && !connect())
        return;
    // Our inputs read from the server's output ports, and the other way round.
    collect(JackPortIsOutput, inputs);
    collect(JackPortIsInput, outputs);
}

bool JackPortLister::connect()
{
    jack_client_t* client = jack_client_open(clientName_.c_str(), JackNoStartServer, nullptr);
    if (!client)
        return false;
    auto session = std::make_shared<std::atomic<bool>>(true);
    jack_on_shutdown(client, &JackPortLister::onShutdown, session.get());
    // Only an active client hears of the server's shutdown.
    if (jack_activate(client) != 0) {
        jack_client_close(client);
        return false;
    }
    client_ = client;
    session_ = std::move(session);
    return true;
}

void JackPortLister::disconnect()
{
    if (!client_)
        return;
    if (session_->load(std::memory_order_acquire)) {
        jack_deactivate(client_);
        // Closing waits for libjack's thread, so no shutdown notice comes afterwards.
        jack_client_close(client_);
    } else {
        // The server has gone. Closing its client crashes libjack once a
        // server of the same name has started again, so the client stays,
        // unclosed, until the process ends; kept reachable, so that no leak
        // checker reports it.
        static auto* abandoned = new std::vector<jack_client_t*>;
        abandoned->push_back(client_);
    }
    client_ = nullptr;
    session_->store(false, std::memory_order_release);
    session_.reset();
}

void JackPortLister::collect(unsigned long flags, std::vector<ListedPort>& ports)
{
    const char** names = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
    if (!names)
        return;
    for (const char** name = names; *name; ++name) {
        if (isOwnJackPort(*name, clientName_))
            continue;
        const jack_port_t* port = jack_port_by_name(client_, *name);
        const bool physical = port && (jack_port_flags(port) & JackPortIsPhysical);
        ports.push_back(jackPort(*name, physical));
    }
    jack_free(names);
}

JackServerWatch JackPortLister::watch() const
{
    return JackServerWatch(session_, clientName_);
}

void JackPortLister::onShutdown(void* session)
{
    static_cast<std::atomic<bool>*>(session)->store(false, std::memory_order_release);
}
