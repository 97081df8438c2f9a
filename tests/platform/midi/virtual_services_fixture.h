// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Installs a fresh virtual backend for each test and closes whatever the
// test left open, so that the next test may replace the backend.

#include "platform/midi/callback_recorder.h"
#include "platform/midi/midi_services.h"
#include "virtual_midi_backend.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

class VirtualServicesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        backend = std::make_shared<VirtualMidiBackend>();
        SetMidiBackend(backend);
    }

    void TearDown() override
    {
        for (HMIDIIN handle : openInputs)
            midiInClose(handle);
        for (HMIDIOUT handle : openOutputs)
            midiOutClose(handle);
        SetMidiBackend(nullptr);
    }

    static VirtualMidiBackend::DeviceSpec named(const char* name)
    {
        VirtualMidiBackend::DeviceSpec spec;
        spec.name = name;
        return spec;
    }

    // Opens input device n with the recorder as callback; closed at the end.
    HMIDIIN openInput(UINT device = 0)
    {
        HMIDIIN handle = 0;
        EXPECT_EQ(midiInOpen(&handle, device, &CallbackRecorder::callback, recorder.instance(), CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
        openInputs.push_back(handle);
        return handle;
    }

    HMIDIOUT openOutput(UINT device = 0)
    {
        HMIDIOUT handle = 0;
        EXPECT_EQ(midiOutOpen(&handle, device, &CallbackRecorder::callback, recorder.instance(), CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
        openOutputs.push_back(handle);
        return handle;
    }

    std::shared_ptr<VirtualMidiBackend> backend;
    CallbackRecorder recorder;
    std::vector<HMIDIIN> openInputs;
    std::vector<HMIDIOUT> openOutputs;
};

// A system-exclusive buffer owned by a test.
struct TestBuffer {
    explicit TestBuffer(DWORD size) : data(size, 0)
    {
        header.lpData = data.data();
        header.dwBufferLength = size;
    }
    std::vector<char> data;
    MIDIHDR header;
};
