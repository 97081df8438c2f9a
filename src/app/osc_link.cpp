// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/osc_link.h"

#include "platform/exception.h"
#include "platform/notification_window.h"

#include <lo/lo.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>

namespace {

constexpr std::uint32_t WM_OSC_RECEIVED = WM_USER + 40;

// The library tells of a packet it could not read (malformed OSC, ...) from
// its own thread; the packet is dropped and the program runs on.
void TellSocketError(int number, const char* message, const char* where)
{
    std::fprintf(stderr, "Velomorph : OSC : %s (%d)%s%s\n", message ? message : "erreur", number,
                 where ? " : " : "", where ? where : "");
    std::fflush(stderr);
}

// An argument's bytes are only 4-byte aligned in the library's buffer,
// while its union type asks for 8: they are read as bytes.
TOscMessage Copy(const char* path, const char* types, lo_arg** argv, int argc)
{
    TOscMessage message{path ? path : "", {}};
    for (int i = 0; i < argc; ++i) {
        const char* bytes = reinterpret_cast<const char*>(argv[i]);
        switch (types[i]) {
        case LO_INT32: {
            std::int32_t number = 0;
            std::memcpy(&number, bytes, sizeof number);
            message.Args.emplace_back(number);
            break;
        }
        case LO_STRING:
            message.Args.emplace_back(std::string(bytes));
            break;
        default:
            message.Args.emplace_back(TOscOther{types[i]});
            break;
        }
    }
    return message;
}

} // namespace

struct TOscLink::Impl {
    Handler handler;
    lo_address peer = nullptr;
    lo_server_thread thread = nullptr;
    std::mutex lock; // guards received
    std::deque<TOscMessage> received;
    NotificationWindow wakeUp{[this](TMessage&) { Deliver(); }};

    static int Receive(const char* path, const char* types, lo_arg** argv, int argc, lo_message, void* self)
    {
        auto& impl = *static_cast<Impl*>(self);
        {
            const std::lock_guard<std::mutex> hold(impl.lock);
            impl.received.push_back(Copy(path, types, argv, argc));
        }
        PostMessageW(&impl.wakeUp, WM_OSC_RECEIVED, 0, 0);
        return 0;
    }

    void Deliver()
    {
        for (;;) {
            TOscMessage message;
            {
                const std::lock_guard<std::mutex> hold(lock);
                if (received.empty())
                    return;
                message = std::move(received.front());
                received.pop_front();
            }
            handler(message);
        }
    }
};

TOscLink::TOscLink(const std::string& url, Handler handler)
    : d(std::make_unique<Impl>())
{
    d->handler = std::move(handler);
    if (!IsNsmUrl(url) || !(d->peer = lo_address_new_from_url(url.c_str())))
        throw Exception("adresse OSC invalide : " + url);
    d->thread = lo_server_thread_new_with_proto(nullptr, LO_UDP, TellSocketError);
    if (!d->thread) {
        lo_address_free(d->peer);
        throw Exception("impossible d'ouvrir une prise OSC");
    }
    lo_server_thread_add_method(d->thread, nullptr, nullptr, &Impl::Receive, d.get());
    lo_server_thread_start(d->thread);
}

TOscLink::~TOscLink()
{
    lo_server_thread_stop(d->thread);
    lo_server_thread_free(d->thread);
    lo_address_free(d->peer);
}

bool TOscLink::Send(const TOscMessage& message)
{
    lo_message out = lo_message_new();
    for (const TOscArg& arg : message.Args) {
        if (const auto* number = std::get_if<std::int32_t>(&arg))
            lo_message_add_int32(out, *number);
        else if (const auto* text = std::get_if<std::string>(&arg))
            lo_message_add_string(out, text->c_str());
    }
    const int sent = lo_send_message_from(d->peer, lo_server_thread_get_server(d->thread), message.Path.c_str(), out);
    lo_message_free(out);
    return sent >= 0;
}
