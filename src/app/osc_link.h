// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Threading contract
// ------------------
// A TOscLink owns one UDP socket and the thread that receives on it (the
// OSC library's server thread). That thread copies each message, queues it
// under a lock held only for the copy, and posts a wake-up through a
// NotificationWindow; the handler then runs on the thread that created the
// link (the main thread), one message at a time in arrival order. Send() is
// for that thread too: a datagram goes out from the same socket, so the
// peer's replies come back to it, and sending never waits for the peer.

#include "app/nsm_protocol.h"

#include <functional>
#include <memory>
#include <string>

class TOscLink {
public:
    using Handler = std::function<void(const TOscMessage& message)>;

    // A socket on a free local port for talking to the peer at `url`
    // ("osc.udp://host:port/"); raises Exception when the URL is not one or
    // the socket cannot be opened.
    TOscLink(const std::string& url, Handler handler);
    ~TOscLink();
    TOscLink(const TOscLink&) = delete;
    TOscLink& operator=(const TOscLink&) = delete;

    // Sends to the peer; false when the datagram could not leave.
    bool Send(const TOscMessage& message);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
