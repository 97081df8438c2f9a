// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Keeps the MIDI libraries off the console: the program logs nothing, and
// their failures become result codes.

#include <iosfwd>

// Installs do-nothing message handlers in libjack (errors and information)
// and alsa-lib; once per process, later calls do nothing. Main thread.
void silenceMidiLibraries() noexcept;

// Sends std::cerr nowhere while it lives: RtMidi prints an error before
// throwing it when no error callback is set yet, as in its constructors.
// Main thread.
class ScopedCerrSilence {
public:
    ScopedCerrSilence();
    ~ScopedCerrSilence();
    ScopedCerrSilence(const ScopedCerrSilence&) = delete;
    ScopedCerrSilence& operator=(const ScopedCerrSilence&) = delete;

private:
    std::streambuf* saved_;
};
