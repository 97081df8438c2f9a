// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Records every call of a MIDI services callback, from whatever thread.

#include "platform/midi/midi_services.h"

#include <mutex>
#include <vector>

struct RecordedCall {
    std::intptr_t device = 0;
    UINT message = 0;
    DWORD_PTR param1 = 0;
    DWORD_PTR param2 = 0;
    // For headers: dwBytesRecorded and the bytes as they were at the call.
    DWORD bytesRecorded = 0;
    std::vector<std::uint8_t> bytes;
};

class CallbackRecorder {
public:
    // The callback to pass to midiInOpen / midiOutOpen, with this as instance.
    static void callback(std::intptr_t device, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2)
    {
        auto* self = reinterpret_cast<CallbackRecorder*>(instance);
        RecordedCall call{device, message, param1, param2, 0, {}};
        const bool header = message == MIM_LONGDATA || message == MIM_LONGERROR || message == MOM_DONE;
        if (header) {
            const auto* h = reinterpret_cast<const MIDIHDR*>(param1);
            call.bytesRecorded = h->dwBytesRecorded;
            const DWORD count = message == MOM_DONE ? h->dwBufferLength : h->dwBytesRecorded;
            call.bytes.assign(h->lpData, h->lpData + count);
        }
        const std::lock_guard lock(self->mutex_);
        self->calls_.push_back(std::move(call));
    }

    DWORD_PTR instance() { return reinterpret_cast<DWORD_PTR>(this); }

    std::vector<RecordedCall> calls() const
    {
        const std::lock_guard lock(mutex_);
        return calls_;
    }

    // The calls with this message, in order.
    std::vector<RecordedCall> calls(UINT message) const
    {
        std::vector<RecordedCall> matching;
        for (const RecordedCall& call : calls())
            if (call.message == message)
                matching.push_back(call);
        return matching;
    }

    void clear()
    {
        const std::lock_guard lock(mutex_);
        calls_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<RecordedCall> calls_;
};
