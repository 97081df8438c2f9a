// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The session manager's protocol (NSM, API 1.1) as plain messages: what the
// program sends, built here, and what it receives, read here into one event
// each. Nothing here knows the socket (osc_link.h) or a widget.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

// One OSC argument of the kinds the protocol uses: 'i' and 's'; any other
// kind is kept as its type letter, so that a reader can refuse it.
struct TOscOther {
    char Type = 0;
    bool operator==(const TOscOther&) const = default;
};
using TOscArg = std::variant<std::int32_t, std::string, TOscOther>;

struct TOscMessage {
    std::string Path;
    std::vector<TOscArg> Args;
    bool operator==(const TOscMessage&) const = default;
};

// The OSC type string of the message's arguments ("ssiii", ...).
std::string OscTypes(const TOscMessage& message);

inline constexpr const char* NsmApplicationName = "Velomorph";
inline constexpr const char* NsmWindowCapabilities = ":optional-gui:dirty:message:";
inline constexpr const char* NsmHeadlessCapabilities = ":dirty:message:";
inline constexpr std::int32_t NsmApiMajor = 1;
inline constexpr std::int32_t NsmApiMinor = 1;
// The protocol's error code for a general failure.
inline constexpr std::int32_t NsmErrorGeneral = -1;

// Messages the program sends.
TOscMessage NsmAnnounce(const std::string& capabilities, const std::string& executable, std::int32_t pid);
TOscMessage NsmReply(const std::string& request, const std::string& message);
TOscMessage NsmError(const std::string& request, std::int32_t code, const std::string& message);
TOscMessage NsmDirty(bool dirty);    // is_dirty / is_clean
TOscMessage NsmGuiShown(bool shown); // gui_is_shown / gui_is_hidden
// A text for the manager's user; priority 0 (least) to 3, clamped.
TOscMessage NsmMessage(int priority, const std::string& text);

// What a received message asks or tells.
struct TNsmAnnounced {
    std::string Message, ServerName, ServerCapabilities;
};
struct TNsmRefused { // /error to the announce
    std::int32_t Code = 0;
    std::string Message;
};
struct TNsmOpen {
    std::string Path, DisplayName, ClientId;
};
struct TNsmSave {};
struct TNsmShowGui {};
struct TNsmHideGui {};
struct TNsmSessionLoaded {};
// A message that is none of the above, or one whose arguments do not fit
// its path: Text says what, for the program's report.
struct TNsmUnknown {
    std::string Text;
};
using TNsmEvent = std::variant<TNsmAnnounced, TNsmRefused, TNsmOpen, TNsmSave, TNsmShowGui, TNsmHideGui,
                               TNsmSessionLoaded, TNsmUnknown>;

TNsmEvent ReadNsmMessage(const TOscMessage& message);

// Whether `url` can be the manager's address: an OSC URL over UDP
// ("osc.udp://host:port/"). The socket library has the last word.
bool IsNsmUrl(const std::string& url);
