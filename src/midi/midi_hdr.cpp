// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/midi_hdr.h"

#include "midi/shared_block.h"

#include <new>

TMyMidiHdr::TMyMidiHdr(std::uint16_t BufferSize)
{
    if (BufferSize == 0)
        return;
    void* header = AllocSharedBlock(sizeof(MIDIHDR), hdrHandle);
    if (header)
        hdrPointer = new (header) MIDIHDR{};
    sysexPointer = AllocSharedBlock(BufferSize, sysexHandle);
    if (!hdrPointer || !sysexPointer) {
        release();
        throw EMidiBufferAllocError("Not enough memory for a MIDI message buffer");
    }
    hdrPointer->lpData = static_cast<char*>(sysexPointer);
    hdrPointer->dwBufferLength = BufferSize;
}

TMyMidiHdr::~TMyMidiHdr()
{
    release();
}

void TMyMidiHdr::release() noexcept
{
    FreeSharedBlock(hdrHandle, hdrPointer);
    FreeSharedBlock(sysexHandle, sysexPointer);
    hdrHandle = sysexHandle = 0;
    hdrPointer = nullptr;
    sysexPointer = nullptr;
}
