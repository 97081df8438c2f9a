// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/midi/backends/port_order.h"

#include <algorithm>
#include <charconv>

namespace {

bool parseNumber(std::string_view text, int& value)
{
    if (text.empty())
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

} // namespace

bool parseAlsaAddress(std::string_view name, int& client, int& port)
{
    const std::size_t space = name.rfind(' ');
    if (space == std::string_view::npos)
        return false;
    const std::string_view address = name.substr(space + 1);
    const std::size_t colon = address.find(':');
    if (colon == std::string_view::npos)
        return false;
    int c = 0;
    int p = 0;
    if (!parseNumber(address.substr(0, colon), c) || !parseNumber(address.substr(colon + 1), p))
        return false;
    client = c;
    port = p;
    return true;
}

PortKind alsaPortKind(int client)
{
    if (client == 14)
        return PortKind::Through;
    if (client >= 16 && client <= 127)
        return PortKind::Hardware;
    return PortKind::Program;
}

ListedPort alsaPort(std::string name)
{
    ListedPort port;
    port.api = PortApi::Alsa;
    if (parseAlsaAddress(name, port.alsaClient, port.alsaPort))
        port.kind = alsaPortKind(port.alsaClient);
    port.name = std::move(name);
    return port;
}

ListedPort jackPort(std::string name, bool physical, bool otherCopy)
{
    ListedPort port;
    port.api = PortApi::Jack;
    // A through port echoes what it receives: listed last, like ALSA's.
    const bool through = name.find("Midi Through") != std::string::npos
        || name.find("Midi-Through") != std::string::npos;
    port.kind = otherCopy ? PortKind::OtherCopy
        : through         ? PortKind::Through
        : physical        ? PortKind::Hardware
                          : PortKind::Program;
    port.name = std::move(name);
    return port;
}

bool isOwnAlsaPort(std::string_view name, std::string_view clientName)
{
    return startsWith(name, clientName) && name.substr(clientName.size(), 1) == ":";
}

bool feedsBack(const ListedPort& output, const std::vector<std::pair<int, int>>& openAlsaInputs)
{
    const std::pair<int, int> address{output.alsaClient, output.alsaPort};
    return output.api == PortApi::Alsa && output.kind == PortKind::Through
        && std::find(openAlsaInputs.begin(), openAlsaInputs.end(), address) != openAlsaInputs.end();
}

void orderPorts(std::vector<ListedPort>& ports)
{
    std::stable_sort(ports.begin(), ports.end(), [](const ListedPort& a, const ListedPort& b) {
        if (a.kind != b.kind)
            return a.kind < b.kind;
        return a.api < b.api;
    });
}
