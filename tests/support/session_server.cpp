// SPDX-License-Identifier: GPL-3.0-or-later
#include "session_server.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

bool Matches(const SessionServer::Message& message, const std::string& path, const std::string& firstArg)
{
    return message.path == path && (firstArg.empty() || message.text(0) == firstArg);
}

} // namespace

std::string SessionServer::Message::text(std::size_t i) const
{
    if (i >= args.size() || !std::holds_alternative<std::string>(args[i]))
        return {};
    return std::get<std::string>(args[i]);
}

SessionServer::SessionServer(Answer answer)
    : answer_(answer)
{
    thread_ = lo_server_thread_new_with_proto(nullptr, LO_UDP, nullptr);
    if (!thread_)
        throw std::runtime_error("no OSC socket for the session server");
    lo_server_thread_add_method(thread_, nullptr, nullptr, &SessionServer::receive, this);
    lo_server_thread_start(thread_);
}

SessionServer::~SessionServer()
{
    lo_server_thread_stop(thread_);
    lo_server_thread_free(thread_);
    if (client_)
        lo_address_free(client_);
}

std::string SessionServer::url() const
{
    return "osc.udp://127.0.0.1:" + std::to_string(lo_server_thread_get_port(thread_)) + "/";
}

int SessionServer::receive(const char* path, const char* types, lo_arg** argv, int argc, lo_message msg, void* self)
{
    auto& server = *static_cast<SessionServer*>(self);
    Message message{path, {}, types};
    // The arguments' bytes are only 4-byte aligned: read as bytes, not through lo_arg.
    for (int i = 0; i < argc; ++i) {
        const char* bytes = reinterpret_cast<const char*>(argv[i]);
        if (types[i] == LO_INT32) {
            std::int32_t number = 0;
            std::memcpy(&number, bytes, sizeof number);
            message.args.emplace_back(number);
        } else if (types[i] == LO_STRING) {
            message.args.emplace_back(std::string(bytes));
        }
    }
    const std::lock_guard<std::mutex> hold(server.mutex_);
    if (message.path == "/nsm/server/announce") {
        // Replies go where the announce came from.
        lo_address source = lo_message_get_source(msg);
        char* sourceUrl = lo_address_get_url(source);
        if (server.client_)
            lo_address_free(server.client_);
        server.client_ = lo_address_new_from_url(sourceUrl);
        std::free(sourceUrl);
        lo_server from = lo_server_thread_get_server(server.thread_);
        if (server.answer_ == Answer::Reply)
            lo_send_from(server.client_, from, LO_TT_IMMEDIATE, "/reply", "ssss", "/nsm/server/announce",
                         "Bienvenue", "Session de test", ":server-control:");
        else if (server.answer_ == Answer::Refuse)
            lo_send_from(server.client_, from, LO_TT_IMMEDIATE, "/error", "sis", "/nsm/server/announce", -4,
                         "incompatible API");
    }
    server.messages_.push_back(std::move(message));
    server.changed_.notify_all();
    return 0;
}

void SessionServer::sendToClient(lo_message message, const std::string& path)
{
    const std::lock_guard<std::mutex> hold(mutex_);
    if (!client_)
        throw std::runtime_error("no client has announced itself");
    lo_send_message_from(client_, lo_server_thread_get_server(thread_), path.c_str(), message);
    lo_message_free(message);
}

void SessionServer::open(const std::string& path, const std::string& displayName, const std::string& clientId)
{
    send("/nsm/client/open", {path, displayName, clientId});
}

void SessionServer::save()
{
    send("/nsm/client/save", {});
}

void SessionServer::showGui()
{
    send("/nsm/client/show_optional_gui", {});
}

void SessionServer::hideGui()
{
    send("/nsm/client/hide_optional_gui", {});
}

void SessionServer::sessionIsLoaded()
{
    send("/nsm/client/session_is_loaded", {});
}

void SessionServer::send(const std::string& path, const std::vector<std::variant<std::int32_t, std::string>>& args)
{
    lo_message message = lo_message_new();
    for (const auto& arg : args) {
        if (std::holds_alternative<std::int32_t>(arg))
            lo_message_add_int32(message, std::get<std::int32_t>(arg));
        else
            lo_message_add_string(message, std::get<std::string>(arg).c_str());
    }
    sendToClient(message, path);
}

std::size_t SessionServer::countLocked(const std::string& path, const std::string& firstArg) const
{
    std::size_t count = 0;
    for (const Message& message : messages_)
        count += Matches(message, path, firstArg) ? 1 : 0;
    return count;
}

std::optional<SessionServer::Message> SessionServer::waitFor(const std::string& path,
                                                             std::chrono::milliseconds limit,
                                                             const std::string& firstArg, std::size_t count)
{
    std::unique_lock<std::mutex> hold(mutex_);
    if (!changed_.wait_for(hold, limit, [&] { return countLocked(path, firstArg) >= count; }))
        return std::nullopt;
    for (auto it = messages_.rbegin(); it != messages_.rend(); ++it) {
        if (Matches(*it, path, firstArg))
            return *it;
    }
    return std::nullopt;
}

std::vector<SessionServer::Message> SessionServer::messages() const
{
    const std::lock_guard<std::mutex> hold(mutex_);
    return messages_;
}

std::size_t SessionServer::count(const std::string& path, const std::string& firstArg) const
{
    const std::lock_guard<std::mutex> hold(mutex_);
    return countLocked(path, firstArg);
}

std::string SessionServer::log() const
{
    const std::lock_guard<std::mutex> hold(mutex_);
    std::string text;
    for (const Message& message : messages_) {
        text += message.path;
        for (std::size_t i = 0; i < message.args.size(); ++i)
            text += " " + (std::holds_alternative<std::string>(message.args[i])
                               ? '"' + message.text(i) + '"'
                               : std::to_string(std::get<std::int32_t>(message.args[i])));
        text += '\n';
    }
    return text;
}
