// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A fresh virtual MIDI backend for each port test, the count of shared blocks
// to check that a port gives back what it took, and small helpers.

#include "midi/shared_block.h"
#include "platform/midi/midi_services.h"
#include "virtual_midi_backend.h"

#include <QCoreApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <exception>
#include <memory>
#include <string>

class PortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        backend = std::make_shared<VirtualMidiBackend>();
        SetMidiBackend(backend);
        blocksBefore = SharedBlockCount();
    }

    void TearDown() override
    {
        SetSharedBlockAllocationBudget(std::nullopt);
        SetMidiBackend(nullptr);
    }

    static VirtualMidiBackend::DeviceSpec named(const std::string& name)
    {
        VirtualMidiBackend::DeviceSpec spec;
        spec.name = name;
        return spec;
    }

    // Lets the driver deliver what was injected, then the main thread handle
    // the notifications posted for it.
    void deliver()
    {
        backend->waitIdle();
        QCoreApplication::processEvents();
    }

    // Handles notifications until the condition holds (false when it never does).
    template <typename Condition>
    static bool handleUntil(Condition condition)
    {
        return QTest::qWaitFor(condition, 10000);
    }

    // Shared blocks allocated since the test began.
    std::size_t blocksHeld() const { return SharedBlockCount() - blocksBefore; }

    std::shared_ptr<VirtualMidiBackend> backend;
    std::size_t blocksBefore = 0;
};

// Whether the call raises an exception of type E with exactly that text.
template <typename E, typename Call>
::testing::AssertionResult Raises(Call&& call, const std::string& text)
{
    try {
        call();
    } catch (const E& e) {
        if (e.what() == text)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "raised \"" << e.what() << "\" instead of \"" << text << "\"";
    } catch (const std::exception& e) {
        return ::testing::AssertionFailure() << "raised another error: " << e.what();
    }
    return ::testing::AssertionFailure() << "raised nothing instead of \"" << text << "\"";
}

// The platform's own text for a result code.
inline std::string PlatformText(MMRESULT code)
{
    char text[MAXERRORLENGTH] = {};
    EXPECT_EQ(midiInGetErrorTextW(code, text, MAXERRORLENGTH), MMSYSERR_NOERROR);
    return text;
}
