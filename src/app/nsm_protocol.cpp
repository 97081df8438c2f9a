// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/nsm_protocol.h"

#include <algorithm>
#include <cctype>

namespace {

const std::string ClientPrefix = "/nsm/client/";

// Whether the arguments are of these kinds, in this order ('i', 's').
bool Fits(const TOscMessage& message, std::string_view types)
{
    return OscTypes(message) == types;
}

const std::string& Text(const TOscMessage& message, std::size_t index)
{
    return std::get<std::string>(message.Args[index]);
}

TNsmUnknown Unfit(const TOscMessage& message)
{
    return {"message OSC " + message.Path + " aux arguments inattendus (" + OscTypes(message) + ")"};
}

} // namespace

std::string OscTypes(const TOscMessage& message)
{
    std::string types;
    for (const TOscArg& arg : message.Args) {
        if (std::holds_alternative<std::int32_t>(arg))
            types += 'i';
        else if (std::holds_alternative<std::string>(arg))
            types += 's';
        else
            types += std::get<TOscOther>(arg).Type;
    }
    return types;
}

TOscMessage NsmAnnounce(const std::string& capabilities, const std::string& executable, std::int32_t pid)
{
    return {"/nsm/server/announce",
            {std::string(NsmApplicationName), capabilities, executable, NsmApiMajor, NsmApiMinor, pid}};
}

TOscMessage NsmReply(const std::string& request, const std::string& message)
{
    return {"/reply", {request, message}};
}

TOscMessage NsmError(const std::string& request, std::int32_t code, const std::string& message)
{
    return {"/error", {request, code, message}};
}

TOscMessage NsmDirty(bool dirty)
{
    return {ClientPrefix + (dirty ? "is_dirty" : "is_clean"), {}};
}

TOscMessage NsmGuiShown(bool shown)
{
    return {ClientPrefix + (shown ? "gui_is_shown" : "gui_is_hidden"), {}};
}

TOscMessage NsmMessage(int priority, const std::string& text)
{
    return {ClientPrefix + "message", {std::int32_t{std::clamp(priority, 0, 3)}, text}};
}

TNsmEvent ReadNsmMessage(const TOscMessage& message)
{
    const std::string& path = message.Path;
    const bool toAnnounce = !message.Args.empty() && std::holds_alternative<std::string>(message.Args[0])
                         && Text(message, 0) == "/nsm/server/announce";
    if (path == "/reply" && toAnnounce) {
        if (!Fits(message, "ssss"))
            return Unfit(message);
        return TNsmAnnounced{Text(message, 1), Text(message, 2), Text(message, 3)};
    }
    if (path == "/error" && toAnnounce) {
        if (!Fits(message, "sis"))
            return Unfit(message);
        return TNsmRefused{std::get<std::int32_t>(message.Args[1]), Text(message, 2)};
    }
    if (path == ClientPrefix + "open") {
        if (!Fits(message, "sss"))
            return Unfit(message);
        return TNsmOpen{Text(message, 0), Text(message, 1), Text(message, 2)};
    }
    const std::pair<const char*, TNsmEvent> bare[] = {
        {"save", TNsmSave{}},
        {"show_optional_gui", TNsmShowGui{}},
        {"hide_optional_gui", TNsmHideGui{}},
        {"session_is_loaded", TNsmSessionLoaded{}},
    };
    for (const auto& [name, event] : bare) {
        if (path == ClientPrefix + name)
            return Fits(message, "") ? event : TNsmEvent{Unfit(message)};
    }
    return TNsmUnknown{"message OSC inconnu : " + path};
}

bool IsNsmUrl(const std::string& url)
{
    const std::string scheme = "osc.udp://";
    if (url.rfind(scheme, 0) != 0)
        return false;
    const std::string authority = url.substr(scheme.size(), url.find('/', scheme.size()) - scheme.size());
    const std::size_t colon = authority.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    const std::string port = authority.substr(colon + 1);
    return !port.empty() && port.size() <= 5
        && std::all_of(port.begin(), port.end(), [](unsigned char c) { return std::isdigit(c) != 0; })
        && std::stoi(port) > 0 && std::stoi(port) < 65536;
}
