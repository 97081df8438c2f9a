// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How the RtMidi backend sorts and filters the ports it lists, kept free of
// any MIDI library so that it can be checked on names alone.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class PortApi { Alsa, Jack };

// Hardware devices first, then other programs, then the ports of another
// copy of Velomorph (never chosen by default: two copies that take each
// other's ports make an endless loop), ALSA's "Midi Through" last.
enum class PortKind { Hardware, Program, OtherCopy, Through };

struct ListedPort {
    PortApi api = PortApi::Alsa;
    std::string name;       // the full name, as RtMidi reports it
    PortKind kind = PortKind::Program;
    int alsaClient = -1;    // ALSA sequencer address; -1 for JACK
    int alsaPort = -1;
};

// Reads the " client:port" address that ends an ALSA port name; false when
// the name has none.
bool parseAlsaAddress(std::string_view name, int& client, int& port);
// Kernel clients 16-127 are hardware, 14 is Midi Through, the rest programs.
PortKind alsaPortKind(int client);
// An ALSA port listed by RtMidi: kind and address from its name.
ListedPort alsaPort(std::string name);
// A JACK port; physical ports (e.g. "system:...") count as hardware, a
// bridged "Midi Through" port as a through port, a port of a client that
// marks itself as Velomorph (`otherCopy`) as another copy's.
ListedPort jackPort(std::string name, bool physical, bool otherCopy = false);

// Whether a port belongs to one of our own ALSA clients, all named
// clientName: ALSA names read "client:port c:p".
bool isOwnAlsaPort(std::string_view name, std::string_view clientName);

// Whether writing to this output port would feed an open input back: an ALSA
// "Midi Through" port echoes what it receives, so it loops when an open input
// listens to the same port. A device's own input and output are no loop.
bool feedsBack(const ListedPort& output, const std::vector<std::pair<int, int>>& openAlsaInputs);

// Puts the ports in listing order: by kind; within a kind ALSA before JACK,
// then as found.
void orderPorts(std::vector<ListedPort>& ports);
