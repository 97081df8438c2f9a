// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A session manager for the tests, a stand-in written from the published
// rules of the NSM API 1.1, on the OSC library: it answers a client's announce (or
// refuses it, or stays silent), then sends open, save, show and hide to the
// client that announced, from the socket the client talks to. It records
// every message it receives. Ending a client with SIGTERM is the test's own.
//
// Threading: the OSC library's thread receives and records under a lock;
// everything else runs on the caller's thread.

#include <lo/lo.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

class SessionServer {
public:
    enum class Answer { Reply, Refuse, Silent };

    struct Message {
        std::string path;
        std::vector<std::variant<std::int32_t, std::string>> args;
        std::string types;
        // The i-th argument as text, or "" when it is not one.
        std::string text(std::size_t i) const;
    };

    explicit SessionServer(Answer answer = Answer::Reply);
    ~SessionServer();
    SessionServer(const SessionServer&) = delete;
    SessionServer& operator=(const SessionServer&) = delete;

    // For NSM_URL: "osc.udp://127.0.0.1:<port>/".
    std::string url() const;

    // Requests to the client that announced last.
    void open(const std::string& path, const std::string& displayName, const std::string& clientId);
    void save();
    void showGui();
    void hideGui();
    void sessionIsLoaded();
    // Any message, for what a manager should never send.
    void send(const std::string& path, const std::vector<std::variant<std::int32_t, std::string>>& args);

    // Waits until `count` messages with `path` (and, for /reply and /error,
    // this first argument when given) have come; the last of them, or none
    // after the limit.
    std::optional<Message> waitFor(const std::string& path, std::chrono::milliseconds limit,
                                   const std::string& firstArg = {}, std::size_t count = 1);
    // Every message received so far.
    std::vector<Message> messages() const;
    // How many messages with `path` (and first argument) have come so far.
    std::size_t count(const std::string& path, const std::string& firstArg = {}) const;
    // The paths received so far, one a line, for failure messages.
    std::string log() const;

private:
    static int receive(const char* path, const char* types, lo_arg** argv, int argc, lo_message msg, void* self);
    std::size_t countLocked(const std::string& path, const std::string& firstArg) const;
    void sendToClient(lo_message message, const std::string& path);

    Answer answer_;
    lo_server_thread thread_ = nullptr;
    mutable std::mutex mutex_; // guards what follows
    std::condition_variable changed_;
    std::vector<Message> messages_;
    lo_address client_ = nullptr;
};
