// The window and its two ports in the test's own process, on the real RtMidi
// backend and a JACK server: input that is not what a well-behaved device
// sends, and devices that go away under an open port. The probe plays the
// device, whose ports the window opens at start-up.
#include "app/error_report.h"
#include "app/main_window.h"
#include "app/widgets/led_indicator.h"
#include "app/widgets/status_shape.h"
#include "app/widgets/step_slider.h"
#include "jack_probe.h"
#include "platform/midi/midi_services.h"
#include "private_jack_server.h"
#include "routing/midi_routing.h"
#include "support/scripted_prompts.h"

#include <QComboBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

const QColor Lime(0, 255, 0);
const QColor Red(255, 0, 0);

// The events a JACK client receives, with the pieces of each system-exclusive
// message put together again: a piece starting with 0xF0 takes the pieces
// after it that start with a data byte, up to one that ends with 0xF7.
std::vector<Bytes> Messages(const std::vector<JackProbe::Event>& events, std::size_t first)
{
    std::vector<Bytes> messages;
    bool open = false;
    for (std::size_t i = first; i < events.size(); ++i) {
        const Bytes& bytes = events[i].bytes;
        if (open && !bytes.empty() && bytes[0] < 0x80)
            messages.back().insert(messages.back().end(), bytes.begin(), bytes.end());
        else
            messages.push_back(bytes);
        open = !messages.back().empty() && messages.back()[0] == 0xF0 && messages.back().back() != 0xF7;
    }
    return messages;
}

class WindowOnJack : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("JACK_DEFAULT_SERVER"))
            GTEST_SKIP() << "needs the private JACK server of the test fixture";
        SetErrorSink([this](const QString& text) { reported << text; });
        SetMidiBackend(nullptr);
    }

    void TearDown() override
    {
        Stop();
        SetMidiBackend(nullptr);
        SetErrorSink({});
    }

    // Creates the ports and the window, which opens the probe's ports and
    // plays its test note; forgets the note.
    void Start()
    {
        routing = std::make_unique<TMidiRouting>();
        routing->CreateMidiPorts();
        form = std::make_unique<TfmMain>(prompts, routing.get());
        ASSERT_TRUE(WaitForEvents(2)) << "no test note";
        heard = probe->events().size();
    }

    // Closes the ports and the window, as the program does at its end.
    void Stop()
    {
        if (routing)
            routing->FreeMidiPorts();
        form.reset();
        routing.reset();
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

    // The window still does its work: a change of a slider rebuilds the curve.
    void ExpectTheWindowAnswers()
    {
        QTest::qWait(200);
        const int out = form->tbPtOut[0]->Position() == 90 ? 91 : 90;
        form->tbPtOut[0]->SetPosition(out);
        EXPECT_EQ(form->TransferTable, BuildTransferTable(form->CurrentPoints()));
    }

    // The device is back under its name; the user chooses, in each selector,
    // the device it shows: both ports open on it again and forward, silently.
    void ExpectTheDeviceToOpenAgainWhenChosen()
    {
        probe = std::make_unique<JackProbe>("keyboard");
        for (QComboBox* selector : {form->cbMIDIIn, form->cbMIDIOut})
            emit selector->activated(selector->currentIndex());
        EXPECT_EQ(form->shMidiIn->BrushColor(), Lime);
        EXPECT_EQ(form->shMidiOut->BrushColor(), Lime);
        EXPECT_EQ(RoundTrip(50), Mapped(50));
        EXPECT_TRUE(reported.isEmpty()) << reported.join('\n').toStdString();
    }

    std::unique_ptr<JackProbe> probe;
    ScriptedPrompts prompts;
    QStringList reported;
    std::unique_ptr<TMidiRouting> routing;
    std::unique_ptr<TfmMain> form;
    std::size_t heard = 0; // probe events seen so far
};

TEST_F(WindowOnJack, MalformedInputLosesNoMessageAroundIt)
{
    probe = std::make_unique<JackProbe>("keyboard");
    Start();
    const TTransferTable& t = form->TransferTable;
    std::vector<Bytes> expected;
    const auto send = [&](const Bytes& event) {
        probe->send(event);
        QTest::qWait(1); // a few events per period, handled as they come
        probe->waitForEvents(0, 0ms);
    };
    const auto note = [&](std::uint8_t key, std::uint8_t velocity) {
        send({0x90, key, velocity});
        expected.push_back({0x90, key, t[velocity]});
    };

    // A system-exclusive message in JACK pieces with timing clocks between
    // them: the clocks come out first. (One longer than every lent buffer is
    // tested on the virtual backend: over JACK its pieces can overrun what
    // one period carries.)
    note(60, 100);
    Bytes sysex(24000);
    for (std::size_t i = 0; i < sysex.size(); ++i)
        sysex[i] = static_cast<std::uint8_t>((i * 31 + i / 1000) % 128); // no two pieces alike
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    for (std::size_t offset = 0; offset < sysex.size(); offset += 20000) {
        send(Bytes(sysex.begin() + offset, sysex.begin() + std::min(offset + 20000, sysex.size())));
        if (offset + 20000 < sysex.size()) {
            send({0xF8});
            expected.push_back({0xF8});
        }
    }
    expected.push_back(sysex);
    note(61, 90);

    // Data bytes without a status byte go nowhere.
    send({0x3C, 0x64});
    send({0x40});
    note(62, 80);

    // A piece that never gets its end: the notes after it still pass.
    send({0xF0, 1, 2, 3});
    expected.push_back({0xF0, 1, 2, 3});
    note(63, 70);
    send({0x80, 63, 0});
    expected.push_back({0x80, 63, t[0]});
    send({0xF0, 4, 0xF7});
    expected.push_back({0xF0, 4, 0xF7});

    // Floods of active sensing (dropped) and timing clocks (forwarded).
    for (int i = 0; i < 2000; ++i) {
        send({0xFE});
        if (i % 4 == 0) {
            send({0xF8});
            expected.push_back({0xF8});
        }
        if (i % 100 == 0)
            note(static_cast<std::uint8_t>(64 + i / 100), static_cast<std::uint8_t>(1 + i / 100));
    }

    std::vector<Bytes> received;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            probe->waitForEvents(0, 0ms);
            received = Messages(probe->events(), heard);
            return received.size() >= expected.size();
        },
        20000));
    ASSERT_EQ(received.size(), expected.size()) << reported.join('\n').toStdString();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto differs = std::mismatch(received[i].begin(), received[i].end(), expected[i].begin(),
                                           expected[i].end()).first;
        ASSERT_TRUE(received[i] == expected[i])
            << "message " << i << " of " << expected.size() << ": " << received[i].size() << " bytes, "
            << expected[i].size() << " expected, first difference at byte " << differs - received[i].begin()
            << reported.join('\n').toStdString();
    }
    EXPECT_FALSE(form->LedMidiErr->LedOn());
    EXPECT_TRUE(reported.isEmpty()) << reported.join('\n').toStdString();
}

// A timing clock that arrives 50 ms into the start-up, while the input's
// opening waits and the output is not open yet, cannot be sent: the input's
// opening ends there, silently. The input stays open but its shape does not
// turn lime; the output opens and the test note plays; later input passes.
TEST_F(WindowOnJack, InputDuringTheStartUpWaitEndsTheInputsOpeningSilently)
{
    probe = std::make_unique<JackProbe>("keyboard");
    bool injected = false;
    bool inputWasOpen = false;
    bool outputWasOpen = true;
    QTimer::singleShot(50, [&] {
        inputWasOpen = probe->waitForOutputConnected(0ms);
        outputWasOpen = probe->waitForInputConnected(0ms);
        probe->send({0xF8});
        injected = true;
    });
    Start();
    ASSERT_TRUE(injected);
    ASSERT_TRUE(inputWasOpen);
    ASSERT_FALSE(outputWasOpen);

    EXPECT_TRUE(reported.isEmpty()) << reported.join('\n').toStdString();
    EXPECT_EQ(form->shMidiIn->BrushColor(), Red);
    EXPECT_EQ(form->shMidiIn->toolTip(), "Port MidiIn fermé");
    EXPECT_EQ(form->shMidiOut->BrushColor(), Lime);
    // Only the test note came out: the clock is lost.
    ASSERT_EQ(probe->events().size(), 2u);
    EXPECT_EQ(probe->events()[0].bytes, (Bytes{0x90, 0x3F, 0x64}));
    EXPECT_EQ(probe->events()[1].bytes, (Bytes{0x80, 0x3F, 0x64}));
    EXPECT_EQ(RoundTrip(100), Mapped(100));
    EXPECT_TRUE(reported.isEmpty()) << reported.join('\n').toStdString();
}

TEST_F(WindowOnJack, ADeviceWhosePortsGoAwayOpensAgainWhenChosen)
{
    probe = std::make_unique<JackProbe>("keyboard");
    Start();
    ASSERT_EQ(RoundTrip(100), Mapped(100));

    probe.reset(); // the device leaves while both ports are open on it
    ExpectTheWindowAnswers();

    ExpectTheDeviceToOpenAgainWhenChosen();
}

TEST_F(WindowOnJack, AServerKilledWhileForwardingLeavesTheWindowAnsweringAndItsDevicesOpenAgainWhenChosen)
{
    PrivateJackServer server;
    probe = std::make_unique<JackProbe>("keyboard");
    Start();
    ASSERT_EQ(RoundTrip(100), Mapped(100));

    for (int i = 0; i < 50; ++i) {
        probe->send({0x90, 0x3C, static_cast<std::uint8_t>(1 + i)});
        QTest::qWait(1);
    }
    server.kill();
    probe.reset();
    ExpectTheWindowAnswers();
    QTest::qWait(500);

    server.start();
    ExpectTheDeviceToOpenAgainWhenChosen();
    Stop(); // before the server goes
}

} // namespace
