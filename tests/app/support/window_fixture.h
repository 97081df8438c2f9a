// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window as the program builds it, for the window tests: the
// window alone (the curve editor), or with its MIDI routing on the backend
// in force, built in the program's order. Every error that reaches the
// default error report is recorded in `reported` instead of a message box.
//
//   WindowFixture            any backend (the real one unless the test sets one)
//   VirtualMidiWindowFixture the in-process virtual backend, in `backend`

#include "app/main_window.h"
#include "routing/midi_routing.h"
#include "support/scripted_prompts.h"
#include "virtual_midi_backend.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <memory>
#include <string>

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override;
    // Frees the ports and the window, then stops recording the reports.
    void TearDown() override;

    // The window without a MIDI side, hidden.
    void StartWindow();
    // Creates the MIDI ports, then the window, whose creation runs the whole
    // start-up sequence (devices listed and opened, the test note unless
    // testNote is false, as --no-test-note asks).
    void StartWithMidi(bool testNote = true);
    // Shows the window; false when it is not on screen within 5 s.
    bool ShowWindow();
    // Closes the ports, then destroys the window and the routing, as the
    // program does at its end. Nothing happens when nothing was started.
    void StopWindow();

    // The reports so far, one a line, for failure messages.
    std::string ReportedText() const;

    ScriptedPrompts prompts;
    QStringList reported;
    std::unique_ptr<TMidiRouting> routing; // absent without a MIDI side
    std::unique_ptr<TfmMain> form;
};

class VirtualMidiWindowFixture : public WindowFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // A device of that name, with nothing else to declare.
    static VirtualMidiBackend::DeviceSpec Named(const std::string& name);

    // Starts with one keyboard (input 0) and one synth (output 0) and
    // forgets the test note.
    void StartWithOneOfEach();

    // Handles the window's events until `count` messages have left on
    // output 0 and the window has taken what arrived; false when 5 s passed
    // first.
    bool WaitForSent(std::size_t count);

    std::shared_ptr<VirtualMidiBackend> backend;
};
