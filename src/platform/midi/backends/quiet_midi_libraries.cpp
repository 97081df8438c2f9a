// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/midi/backends/quiet_midi_libraries.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <iostream>
#include <streambuf>

namespace {

void ignoreJackMessage(const char*) {}

void ignoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

// A stream buffer that accepts every character and keeps none.
class NullBuffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char_type*, std::streamsize count) override { return count; }
};

} // namespace

void silenceMidiLibraries() noexcept
{
    static const bool done = [] {
        jack_set_error_function(ignoreJackMessage);
        jack_set_info_function(ignoreJackMessage);
        snd_lib_error_set_handler(ignoreAlsaMessage);
        return true;
    }();
    static_cast<void>(done);
}

ScopedCerrSilence::ScopedCerrSilence()
{
    static NullBuffer nowhere;
    saved_ = std::cerr.rdbuf(&nowhere);
}

ScopedCerrSilence::~ScopedCerrSilence()
{
    std::cerr.rdbuf(saved_);
}
