// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a status shape's hint says of its port, by side as
// TMidiRouting::Index numbers them (input, output).

inline constexpr const char* OpenHints[2] = {"Port MidiIn ouvert", "Port MidiOut ouvert"};
inline constexpr const char* ClosedHints[2] = {"Port MidiIn fermé", "Port MidiOut fermé"};
// The chosen device has gone; the port waits for it.
inline constexpr const char* LostHints[2] = {"Port MidiIn déconnecté", "Port MidiOut déconnecté"};
// Our own port in a graph of ports, open, with nothing connected to it.
inline constexpr const char* UnconnectedHints[2] = {"Port MidiIn : aucun appareil", "Port MidiOut : aucun appareil"};
