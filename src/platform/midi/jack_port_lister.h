#pragma once

// Lists the MIDI ports of the running JACK server through one client kept
// for the whole process. Main thread only.

#include "platform/midi/port_order.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

struct _jack_client;

// Whether the JACK server that a port was opened on still runs. libjack
// crashes when a port of a server that has gone away is unregistered, so a
// port is closed only while its server answers.
class JackServerWatch {
public:
    // session: the lister's token for the server the port was opened on.
    JackServerWatch(std::shared_ptr<const std::atomic<bool>> session, std::string clientName);
    // False once that server has shut down; asks the server itself too, as
    // the shutdown notice may still be on its way.
    bool serverRunning() const;

private:
    std::shared_ptr<const std::atomic<bool>> session_;
    std::string clientName_;
};

class JackPortLister {
public:
    // clientName: our client name, whose ports are left out of the lists.
    explicit JackPortLister(std::string clientName);
    ~JackPortLister();
    JackPortLister(const JackPortLister&) = delete;
    JackPortLister& operator=(const JackPortLister&) = delete;

    // Fills the ports we can read from (inputs) and write to (outputs), as
    // found; both empty when no server runs. Never starts a server.
    void list(std::vector<ListedPort>& inputs, std::vector<ListedPort>& outputs);

    // A watch on the server of the last listing.
    JackServerWatch watch() const;

private:
    bool connect();
    void disconnect();
    void collect(unsigned long flags, std::vector<ListedPort>& ports);
    static void onShutdown(void* session);

    std::string clientName_;
    _jack_client* client_ = nullptr;
    // One per connection: true until libjack's thread reports the server gone.
    std::shared_ptr<std::atomic<bool>> session_;
};
