// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/midi/messages/midi_types.h"

#include <string_view>

// Copies a UTF-8 port name into a capabilities record, zero-terminated. A
// name longer than the record (none that the backends report) is cut at a
// character boundary, never inside a character.
void copyPortName(std::string_view name, char (&target)[MAXPNAMELEN]) noexcept;
