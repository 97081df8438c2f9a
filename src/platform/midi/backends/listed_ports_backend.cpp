// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/midi/backends/listed_ports_backend.h"

#include "platform/midi/backends/port_name.h"

namespace {

constexpr WORD UnknownMaker = 0xFFFF;
constexpr WORD UnknownProduct = 0xFFFF;
constexpr DWORD DriverVersion = 0x0100; // 1.0
constexpr WORD AllChannels = 0xFFFF;

// What both directions' capabilities say of a port known only by its name.
template <class Caps>
MMRESULT fillCaps(const ListedPort* port, Caps& caps)
{
    if (!port)
        return MMSYSERR_BADDEVICEID;
    caps = Caps{};
    caps.wMid = UnknownMaker;
    caps.wPid = UnknownProduct;
    caps.vDriverVersion = DriverVersion;
    copyPortName(port->name, caps.szPname);
    return MMSYSERR_NOERROR;
}

} // namespace

unsigned ListedPortsBackend::count(bool inputs)
{
    (inputs ? inputs_ : outputs_) = listPorts(inputs);
    (inputs ? inputsListed_ : outputsListed_) = true;
    return static_cast<unsigned>((inputs ? inputs_ : outputs_).size());
}

const std::vector<ListedPort>& ListedPortsBackend::current(bool inputs)
{
    if (!(inputs ? inputsListed_ : outputsListed_))
        count(inputs);
    return inputs ? inputs_ : outputs_;
}

unsigned ListedPortsBackend::inputCount()
{
    return count(true);
}

unsigned ListedPortsBackend::outputCount()
{
    return count(false);
}

const ListedPort* ListedPortsBackend::listedInput(unsigned device)
{
    const auto& ports = current(true);
    return device < ports.size() ? &ports[device] : nullptr;
}

const ListedPort* ListedPortsBackend::listedOutput(unsigned device)
{
    const auto& ports = current(false);
    return device < ports.size() ? &ports[device] : nullptr;
}

PortKind ListedPortsBackend::inputKind(unsigned device)
{
    const ListedPort* port = listedInput(device);
    return port ? port->kind : PortKind::Program;
}

PortKind ListedPortsBackend::outputKind(unsigned device)
{
    const ListedPort* port = listedOutput(device);
    return port ? port->kind : PortKind::Program;
}

std::optional<ListedPort> ListedPortsBackend::graphPort(bool input)
{
    std::string name = hasGraph() ? graphPortName(input) : std::string();
    if (name.empty())
        return std::nullopt;
    return ListedPort{PortApi::Jack, std::move(name), PortKind::Program};
}

MMRESULT ListedPortsBackend::inputCaps(unsigned device, MIDIINCAPSW& caps)
{
    if (device == MIDI_GRAPHPORT) {
        const std::optional<ListedPort> own = graphPort(true);
        return fillCaps(own ? &*own : nullptr, caps);
    }
    return fillCaps(listedInput(device), caps);
}

MMRESULT ListedPortsBackend::outputCaps(unsigned device, MIDIOUTCAPSW& caps)
{
    const std::optional<ListedPort> own = device == MIDI_GRAPHPORT ? graphPort(false) : std::nullopt;
    const MMRESULT result = fillCaps(device == MIDI_GRAPHPORT ? (own ? &*own : nullptr) : listedOutput(device), caps);
    if (result == MMSYSERR_NOERROR) {
        caps.wTechnology = MOD_MIDIPORT;
        caps.wChannelMask = AllChannels;
    }
    return result;
}
