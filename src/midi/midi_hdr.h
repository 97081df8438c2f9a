// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The owner of one system-exclusive buffer lent to the driver: a header and
// its data area, both in shared blocks so that the driver may fill or read
// them from its own thread.

#include "platform/exception.h"
#include "platform/midi/midi_services.h"

#include <cstdint>

// Raised when the blocks of a buffer cannot be allocated; nothing is kept.
class EMidiBufferAllocError : public Exception {
public:
    using Exception::Exception;
};

class TMyMidiHdr {
public:
    // Allocates a header and a zero-filled data area of BufferSize bytes, the
    // header's lpData and dwBufferLength set; BufferSize 0 allocates nothing.
    // Raises EMidiBufferAllocError, keeping nothing, when memory runs out.
    explicit TMyMidiHdr(std::uint16_t BufferSize);
    // Releases the header block, then the data block.
    virtual ~TMyMidiHdr();
    TMyMidiHdr(const TMyMidiHdr&) = delete;
    TMyMidiHdr& operator=(const TMyMidiHdr&) = delete;

    std::uint32_t hdrHandle = 0;     // handle of the header block
    MIDIHDR* hdrPointer = nullptr;   // the header
    std::uint32_t sysexHandle = 0;   // handle of the data block
    void* sysexPointer = nullptr;    // the data block

private:
    void release() noexcept;
};

// The size passed with a header to every platform call.
constexpr UINT MidiHdrSize = sizeof(MIDIHDR);
