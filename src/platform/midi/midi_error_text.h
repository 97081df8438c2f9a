// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/midi/messages/midi_types.h"

// The English text of a MIDI services result code; nullptr for a code that
// has none.
const char* midiErrorText(MMRESULT code) noexcept;
