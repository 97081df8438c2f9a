// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window and its two ports in the test's own process, on the real
// backend and the JACK server the fixture names: the probe plays the device,
// whose ports the window opens at start-up.

#include "app/main_window.h"
#include "app/widgets/step_slider.h"
#include "app/widgets/status_shape.h"
#include "jack_probe.h"
#include "platform/midi/midi_services.h"
#include "support/window_fixture.h"

#include <QComboBox>
#include <QDeadlineTimer>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

inline const QColor Lime(0, 255, 0);
inline const QColor Red(255, 0, 0);

// The events a JACK client receives, read as a MIDI receiver reads them: a
// piece starting with 0xF0 takes the pieces after it that start with a data
// byte, up to one that ends with 0xF7, and counts as received then; a
// real-time byte between the pieces is a message of its own, received at once.
inline std::vector<Bytes> Messages(const std::vector<JackProbe::Event>& events, std::size_t first)
{
    std::vector<Bytes> messages;
    Bytes open;
    for (std::size_t i = first; i < events.size(); ++i) {
        const Bytes& bytes = events[i].bytes;
        if (bytes.empty())
            continue;
        if (bytes.size() == 1 && bytes[0] >= 0xF8) {
            messages.push_back(bytes);
            continue;
        }
        if (!open.empty() && bytes[0] < 0x80) {
            open.insert(open.end(), bytes.begin(), bytes.end());
        } else {
            // Another status byte ends a long message cut short.
            if (!open.empty())
                messages.push_back(std::move(open));
            open = bytes;
        }
        if (open[0] != 0xF0 || open.back() == 0xF7) {
            messages.push_back(std::move(open));
            open.clear();
        }
    }
    if (!open.empty())
        messages.push_back(std::move(open));
    return messages;
}

class WindowOnJack : public WindowFixture {
protected:
    void SetUp() override
    {
        if (!std::getenv("JACK_DEFAULT_SERVER"))
            GTEST_SKIP() << "needs the private JACK server of the test fixture";
        WindowFixture::SetUp();
        SetMidiBackend(nullptr);
    }

    void TearDown() override
    {
        Stop();
        WindowFixture::TearDown();
        SetMidiBackend(nullptr);
    }

    // Creates the ports and the window, which opens the probe's ports and
    // plays its test note; forgets the note.
    void Start()
    {
        StartWithMidi();
        ASSERT_TRUE(WaitForEvents(2)) << "no test note";
        heard = probe->events().size();
    }

    // Closes the ports and the window, as the program does at its end, then the probe.
    void Stop()
    {
        StopWindow();
        probe.reset();
    }

    // Handles the window's events until the probe has received `count` events.
    bool WaitForEvents(std::size_t count, std::chrono::milliseconds limit = 10s)
    {
        return QTest::qWaitFor([&] { return probe->waitForEvents(count, 0ms); }, static_cast<int>(limit.count()));
    }

    // Sends one note and waits for what comes back; empty after 5 s.
    Bytes RoundTrip(std::uint8_t velocity)
    {
        heard = probe->events().size();
        probe->send({0x90, 0x3C, velocity});
        if (!WaitForEvents(heard + 1, 5s))
            return {};
        return probe->events()[heard++].bytes;
    }

    Bytes Mapped(std::uint8_t velocity) const { return {0x90, 0x3C, form->TransferTable[velocity]}; }

    // The window still does its work, asked again and again for `span`
    // while it handles what the loss brings: a change of a slider, posted to
    // its event loop, is made and rebuilds the curve.
    void ExpectTheWindowToKeepAnswering(std::chrono::milliseconds span)
    {
        const QDeadlineTimer deadline(span);
        do {
            const int out = form->tbPtOut[0]->Position() == 90 ? 91 : 90;
            QMetaObject::invokeMethod(
                form.get(), [this, out] { form->tbPtOut[0]->SetPosition(out); }, Qt::QueuedConnection);
            ASSERT_TRUE(QTest::qWaitFor([&] { return form->tbPtOut[0]->Position() == out; }, 5000))
                << "the window no longer handles its events";
            ASSERT_EQ(form->TransferTable, BuildTransferTable(form->CurrentPoints()));
            QTest::qWait(20);
        } while (!deadline.hasExpired());
    }

    // The device is back under its name: both ports are connected to it
    // again by themselves and forward, silently.
    void ExpectTheDeviceToBeConnectedAgain()
    {
        probe = std::make_unique<JackProbe>("keyboard");
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return form->shMidiIn->BrushColor() == Lime && form->shMidiOut->BrushColor() == Lime; }, 10000));
        EXPECT_EQ(RoundTrip(50), Mapped(50));
        EXPECT_TRUE(reported.isEmpty()) << ReportedText();
    }

    std::unique_ptr<JackProbe> probe;
    std::size_t heard = 0; // probe events seen so far
};
