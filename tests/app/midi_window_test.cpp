// SPDX-License-Identifier: GPL-3.0-or-later
// The main job through the real window: devices listed and opened at
// start-up, every message forwarded through the transfer table, lamps.
#include "app/main_window.h"
#include "app/widgets/led_indicator.h"
#include "app/widgets/status_shape.h"
#include "platform/midi/midi_services.h"
#include "support/window_fixture.h"

#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace {

using Bytes = std::vector<std::uint8_t>;

const QColor Lime(0, 255, 0);
const QColor Red(255, 0, 0);

// The velocity a Note On leaves with: the table's, but never 0 for a
// played note.
std::uint8_t Played(const TTransferTable& table, std::uint8_t velocity)
{
    return velocity > 0 && table[velocity] == 0 ? 1 : table[velocity];
}

QStringList Items(const QComboBox* combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

class MidiWindowTest : public VirtualMidiWindowFixture {
protected:
    // Lets the driver deliver what was injected and the window handle it.
    void Deliver()
    {
        backend->waitIdle();
        EXPECT_TRUE(QTest::qWaitFor([&] { return routing->MidiIn->MessageCount() == 0; }, 5000));
        QCoreApplication::processEvents();
    }

    // Waits until the lamps lit by the test note have gone out.
    void WaitForTheLampsToGoOut()
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form->LedMidiIn->LedOn() && !form->LedMidiOut->LedOn(); }, 5000));
    }
};

TEST_F(MidiWindowTest, StartUpOpensTheFirstDevicesAndPlaysTheTestNote)
{
    backend->addInput(Named("Keyboard"));
    backend->addInput(Named("Pads"));
    backend->addOutput(Named("Synth"));
    backend->addOutput(Named("Sampler"));
    StartWithMidi();

    EXPECT_EQ(Items(form->cbMIDIIn), QStringList({"Keyboard", "Pads"}));
    EXPECT_EQ(Items(form->cbMIDIOut), QStringList({"Synth", "Sampler"}));
    EXPECT_EQ(form->cbMIDIIn->currentText(), "Keyboard");
    EXPECT_TRUE(backend->isInputOpen(0));
    EXPECT_TRUE(backend->isOutputOpen(0));
    EXPECT_FALSE(backend->isOutputOpen(1));
    EXPECT_EQ(form->shMidiIn->BrushColor(), Lime);
    EXPECT_EQ(form->shMidiIn->toolTip(), "Port MidiIn ouvert");
    EXPECT_EQ(form->shMidiOut->BrushColor(), Lime);
    EXPECT_EQ(form->shMidiOut->toolTip(), "Port MidiOut ouvert");
    EXPECT_EQ(backend->sentMessages(0), (std::vector<Bytes>{{0x90, 0x3F, 0x64}, {0x80, 0x3F, 0x64}}));
    EXPECT_TRUE(reported.isEmpty());
    EXPECT_FALSE(form->CurveModified);
}

// --no-test-note: the devices open as at every start, and nothing is played.
TEST_F(MidiWindowTest, StartUpWithoutTheTestNoteOpensTheDevicesAndPlaysNothing)
{
    backend->addInput(Named("Keyboard"));
    backend->addOutput(Named("Synth"));
    StartWithMidi(false);
    EXPECT_TRUE(backend->isInputOpen(0));
    EXPECT_TRUE(backend->isOutputOpen(0));
    EXPECT_EQ(form->shMidiOut->BrushColor(), Lime);
    EXPECT_TRUE(backend->sentMessages(0).empty());
    EXPECT_TRUE(reported.isEmpty());
}

TEST_F(MidiWindowTest, TheTestNoteLastsAtLeast300Ms)
{
    StartWithOneOfEach();
    const auto start = std::chrono::steady_clock::now();
    routing->SendTestNote();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(300));
    EXPECT_EQ(backend->sentMessages(0), (std::vector<Bytes>{{0x90, 0x3F, 0x64}, {0x80, 0x3F, 0x64}}));
}

TEST_F(MidiWindowTest, EveryMessageKindLeavesThroughTheCurve)
{
    StartWithOneOfEach();
    const TTransferTable& t = form->TransferTable;
    struct Case {
        const char* name;
        Bytes in;
        Bytes out;
        int shown; // the In value the label shows afterwards; -1: unchanged
    };
    const Case cases[] = {
        {"note on", {0x90, 0x3C, 100}, {0x90, 0x3C, t[100]}, 100},
        {"note on velocity 0", {0x91, 0x3C, 0}, {0x91, 0x3C, t[0]}, -1},
        {"note off", {0x80, 0x3C, 64}, {0x80, 0x3C, t[64]}, 64},
        {"control change", {0xB0, 7, 80}, {0xB0, 7, t[80]}, 80},
        {"pitch bend maps the msb only", {0xE0, 0x10, 60}, {0xE0, 0x10, t[60]}, 60},
        {"key pressure", {0xA0, 0x3C, 52}, {0xA0, 0x3C, t[52]}, 52},
        {"program change", {0xC0, 5}, {0xC0, 5}, -1},
        {"channel pressure", {0xD0, 64}, {0xD0, 64}, -1},
        {"timing clock", {0xF8}, {0xF8}, -1},
        {"system exclusive", {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString before = form->lblMidiLastMsg->text();
        backend->clearSent(0);
        backend->injectBytes(0, c.in);
        ASSERT_TRUE(WaitForSent(1));
        EXPECT_EQ(backend->sentMessages(0), std::vector<Bytes>{c.out});
        const QString label = c.shown < 0 ? before : QStringLiteral("In = %1 -> Out = %2").arg(c.shown).arg(t[c.shown]);
        EXPECT_EQ(form->lblMidiLastMsg->text(), label);
    }
    EXPECT_TRUE(reported.isEmpty());
}

TEST_F(MidiWindowTest, ActiveSensingNeverReachesTheOutput)
{
    StartWithOneOfEach();
    backend->injectBytes(0, {0xFE});
    backend->injectBytes(0, {0x90, 0x40, 10});
    ASSERT_TRUE(WaitForSent(1));
    Deliver();
    EXPECT_EQ(backend->sentMessages(0), std::vector<Bytes>({{0x90, 0x40, form->TransferTable[10]}}));
}

TEST_F(MidiWindowTest, LampsBlinkWithTheTraffic)
{
    StartWithOneOfEach();
    WaitForTheLampsToGoOut();
    backend->injectBytes(0, {0x90, 0x40, 90});
    ASSERT_TRUE(WaitForSent(1));
    EXPECT_TRUE(form->LedMidiIn->LedOn());
    EXPECT_TRUE(form->LedMidiOut->LedOn());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form->LedMidiIn->LedOn() && !form->LedMidiOut->LedOn(); }, 2000));
    EXPECT_FALSE(form->TimerMidiIn->isActive());
    EXPECT_FALSE(form->TimerMidiOut->isActive());
}

TEST_F(MidiWindowTest, NothingLeavesWhileTheWindowIsClosing)
{
    StartWithOneOfEach();
    WaitForTheLampsToGoOut();
    form->SetCloseRequested(true);
    backend->injectBytes(0, {0x90, 0x40, 100});
    Deliver();
    EXPECT_TRUE(backend->sentMessages(0).empty());
    EXPECT_TRUE(form->LedMidiIn->LedOn());
    EXPECT_FALSE(form->LedMidiOut->LedOn());
    EXPECT_EQ(form->lblMidiLastMsg->text(), QStringLiteral("In = 100 -> Out = %1").arg(form->TransferTable[100]));

    form->SetCloseRequested(false);
    backend->injectBytes(0, {0x90, 0x40, 100});
    EXPECT_TRUE(WaitForSent(1));
}

TEST_F(MidiWindowTest, OrderIsKeptAcrossNestedHandling)
{
    StartWithOneOfEach();
    std::vector<Bytes> expected;
    for (int i = 0; i < 600; ++i) {
        const Bytes note{0x90, static_cast<std::uint8_t>(i % 128), static_cast<std::uint8_t>(1 + i % 127)};
        backend->injectBytes(0, note);
        expected.push_back({note[0], note[1], Played(form->TransferTable, note[2])});
        if (i % 50 == 0)
            QCoreApplication::processEvents(); // handle while more arrive
    }
    ASSERT_TRUE(WaitForSent(expected.size()));
    EXPECT_EQ(backend->sentMessages(0), expected);
}

TEST_F(MidiWindowTest, AFullWindowQueueLosesNoMidiWhileLostMessagesLightTheErrorLampUntilClicked)
{
    StartWithOneOfEach();
    const TTransferTable& t = form->TransferTable;
    const auto note = [](int i) {
        return Bytes{0x90, static_cast<std::uint8_t>(i % 128), static_cast<std::uint8_t>(1 + i % 127)};
    };
    std::vector<Bytes> expected;
    // The window handles nothing while the driver queues more than the ring
    // buffer holds: only the window's copies are lost, every message leaves.
    for (int i = 0; i < 1100; ++i) {
        backend->injectBytes(0, note(i));
        expected.push_back({0x90, note(i)[1], Played(t, note(i)[2])});
    }
    backend->waitIdle();
    EXPECT_EQ(backend->sentMessages(0), expected);
    Deliver();
    EXPECT_FALSE(form->LedMidiErr->LedOn());

    // A message that finds no room on the output is lost: the lamp lights
    // and stays lit while later messages pass, until it is clicked.
    backend->setShortSendError(0, MIDIERR_SENDQUEUEFULL);
    backend->injectBytes(0, note(1500));
    Deliver();
    EXPECT_TRUE(form->LedMidiErr->LedOn());
    EXPECT_TRUE(reported.isEmpty());
    backend->setShortSendError(0, MMSYSERR_NOERROR);
    for (int i = 2000; i < 2300; ++i) {
        backend->injectBytes(0, note(i));
        expected.push_back({0x90, note(i)[1], Played(t, note(i)[2])});
        if (i % 50 == 0)
            QCoreApplication::processEvents();
    }
    ASSERT_TRUE(WaitForSent(expected.size()));
    EXPECT_EQ(backend->sentMessages(0), expected);
    Deliver();
    EXPECT_TRUE(form->LedMidiErr->LedOn());

    QTest::mouseClick(form->LedMidiErr, Qt::LeftButton);
    EXPECT_FALSE(form->LedMidiErr->LedOn());
}

TEST_F(MidiWindowTest, MalformedInputAndFloodsOfRealTimeBytesLoseNoNoteAroundThem)
{
    StartWithOneOfEach();
    const TTransferTable& t = form->TransferTable;
    std::vector<Bytes> expected;
    const auto note = [&](int i) {
        const Bytes bytes{0x90, static_cast<std::uint8_t>(i % 128), static_cast<std::uint8_t>(1 + i % 127)};
        backend->injectBytes(0, bytes);
        expected.push_back({0x90, bytes[1], Played(t, bytes[2])});
    };
    note(0);
    for (const Bytes& malformed : std::vector<Bytes>{{0x40}, {0x3C, 0x64}, {0x90, 0x3C}, {0x90, 0x3C, 0x64, 0x01}, {0xF7}}) {
        backend->injectBytes(0, malformed);
        note(static_cast<int>(malformed.size()));
    }
    // Active sensing is dropped before it is queued; the timing clock is forwarded.
    for (int i = 0; i < 5000; ++i) {
        backend->injectBytes(0, {0xFE});
        if (i % 10 == 0) {
            backend->injectBytes(0, {0xF8});
            expected.push_back({0xF8});
        }
        if (i % 100 == 0) {
            note(i / 100);
            backend->waitIdle();
            QCoreApplication::processEvents();
        }
    }
    ASSERT_TRUE(WaitForSent(expected.size()));
    Deliver();
    EXPECT_EQ(backend->sentMessages(0), expected);
    EXPECT_FALSE(form->LedMidiErr->LedOn());
    EXPECT_TRUE(reported.isEmpty());
}

TEST_F(MidiWindowTest, ASystemExclusiveMessageLongerThanAllBuffersLeavesWhole)
{
    StartWithOneOfEach();
    const TTransferTable& t = form->TransferTable;
    constexpr std::size_t BufferBytes = 63999; // each of the 16 lent buffers
    Bytes sysex(16 * BufferBytes + 5000);
    for (std::size_t i = 0; i < sysex.size(); ++i)
        sysex[i] = static_cast<std::uint8_t>(i % 128);
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    backend->injectBytes(0, {0x90, 60, 100});
    backend->injectBytes(0, sysex);
    backend->injectBytes(0, {0x90, 61, 90});
    backend->waitIdle();
    Deliver();

    // The route sends it as it came; only the window's copy is cut to what
    // its buffers hold.
    const auto sent = backend->sentMessages(0);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], (Bytes{0x90, 60, t[100]}));
    EXPECT_TRUE(sent[1] == sysex);
    EXPECT_EQ(sent[2], (Bytes{0x90, 61, t[90]}));
    EXPECT_FALSE(form->LedMidiErr->LedOn());

    // The buffers have come back: the next message passes whole.
    backend->clearSent(0);
    backend->injectBytes(0, {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7});
    ASSERT_TRUE(WaitForSent(1));
    EXPECT_EQ(backend->sentMessages(0), (std::vector<Bytes>{{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}}));
    EXPECT_TRUE(reported.isEmpty());
}

TEST_F(MidiWindowTest, WithoutARouteASystemExclusiveMessageLongerThanAllBuffersLeavesInPartsCutAtTheirEnd)
{
    StartWithOneOfEach();
    routing->Thru.Disconnect();
    constexpr std::size_t BufferBytes = 63999;
    Bytes sysex(16 * BufferBytes + 5000);
    for (std::size_t i = 0; i < sysex.size(); ++i)
        sysex[i] = static_cast<std::uint8_t>(i % 128);
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    backend->injectBytes(0, sysex);
    // The driver fills every buffer before the main thread hands one back:
    // a buffer back early would take a 17th part.
    backend->waitIdle();
    ASSERT_TRUE(WaitForSent(16));
    Deliver();

    // The main thread sends what its buffers hold, one buffer a message.
    const auto sent = backend->sentMessages(0);
    ASSERT_EQ(sent.size(), 16u);
    Bytes parts;
    for (const Bytes& part : sent) {
        EXPECT_EQ(part.size(), BufferBytes);
        parts.insert(parts.end(), part.begin(), part.end());
    }
    EXPECT_TRUE(parts == Bytes(sysex.begin(), sysex.begin() + 16 * BufferBytes));
}

TEST_F(MidiWindowTest, WithoutARouteARefusedSendEndsTheHandlerAndLeavesTheRestQueued)
{
    StartWithOneOfEach();
    // The main thread sends: queue three messages without handling them.
    routing->Thru.Disconnect();
    routing->MidiIn->OnMidiInput = nullptr;
    for (std::uint8_t v : {10, 20, 30})
        backend->injectBytes(0, {0x90, 0x40, v});
    backend->waitIdle();
    QCoreApplication::processEvents();
    ASSERT_EQ(routing->MidiIn->MessageCount(), 3);
    routing->MidiIn->OnMidiInput = [this](TMidiIO* sender) { routing->MidiInMidiInput(sender); };

    backend->setShortSendError(0, MIDIERR_NOTREADY);
    try {
        routing->MidiInMidiInput(routing->MidiIn.get());
        ADD_FAILURE() << "the refused send must end the handler with its error";
    } catch (const EMidiOutputError& e) {
        EXPECT_STREQ(e.what(), "(Short Msg) The hardware is busy with other data.");
    }
    EXPECT_EQ(routing->MidiIn->MessageCount(), 2);

    backend->setShortSendError(0, MMSYSERR_NOERROR);
    routing->MidiInMidiInput(routing->MidiIn.get());
    const TTransferTable& t = form->TransferTable;
    EXPECT_EQ(backend->sentMessages(0), (std::vector<Bytes>{{0x90, 0x40, t[20]}, {0x90, 0x40, t[30]}}));
}

// MIDIERR_NOTREADY is what a send that the driver refuses gives, a send that
// RtMidi only warns about included.
TEST_F(MidiWindowTest, EveryMessageThatCannotBeSentIsReportedAndLaterOnesPass)
{
    StartWithOneOfEach();
    const struct {
        const char* name;
        Bytes message;
        bool isLong;
        QString error;
    } cases[] = {
        {"note", {0x90, 0x40, 10}, false, "(Short Msg) The hardware is busy with other data."},
        {"system exclusive", {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, true,
         "(Long Msg) The hardware is busy with other data."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form->LedMidiOut->LedOn(); }, 5000));
        reported.clear();
        backend->clearSent(0);
        if (c.isLong)
            backend->setLongSendError(0, MIDIERR_NOTREADY);
        else
            backend->setShortSendError(0, MIDIERR_NOTREADY);
        for (int i = 0; i < 3; ++i)
            backend->injectBytes(0, c.message);
        ASSERT_TRUE(QTest::qWaitFor([&] { return reported.size() == 3; }, 5000));
        for (const QString& text : reported)
            EXPECT_EQ(text, c.error);
        EXPECT_FALSE(form->LedMidiOut->LedOn());
        EXPECT_TRUE(backend->sentMessages(0).empty());

        backend->setLongSendError(0, MMSYSERR_NOERROR);
        backend->setShortSendError(0, MMSYSERR_NOERROR);
        backend->injectBytes(0, {0x90, 0x40, 40});
        ASSERT_TRUE(WaitForSent(1));
        EXPECT_EQ(backend->sentMessages(0), std::vector<Bytes>({{0x90, 0x40, form->TransferTable[40]}}));
        EXPECT_TRUE(form->LedMidiOut->LedOn());
    }
}

// A message that arrives while the input's opening waits, before the output
// is open, cannot be sent: it is lost, counted and shown on the error lamp,
// and no message box shows, in the wait or after it. The input's opening
// goes on: its shape turns lime with the hint of an open port, and it
// forwards what comes later.
TEST_F(MidiWindowTest, InputDuringTheStartUpWaitIsLostAndTheInputShowsOpen)
{
    backend->addInput(Named("Keyboard"));
    backend->addOutput(Named("Synth"));
    bool injected = false;
    bool inputWasOpen = false;
    bool outputWasOpen = true;
    QTimer::singleShot(50, [&] {
        inputWasOpen = backend->isInputOpen(0);
        outputWasOpen = backend->isOutputOpen(0);
        backend->injectBytes(0, {0xF8});
        injected = true;
    });
    StartWithMidi();
    ASSERT_TRUE(injected);
    ASSERT_TRUE(inputWasOpen);
    ASSERT_FALSE(outputWasOpen);

    EXPECT_TRUE(reported.isEmpty()) << ReportedText();
    EXPECT_TRUE(backend->isInputOpen(0));
    EXPECT_EQ(form->shMidiIn->BrushColor(), Lime);
    EXPECT_EQ(form->shMidiIn->toolTip(), "Port MidiIn ouvert");
    EXPECT_EQ(routing->Traffic().Lost, 1u);
    EXPECT_TRUE(form->LedMidiErr->LedOn());
    // The sequence went on: the output opened and the test note played.
    EXPECT_EQ(form->shMidiOut->BrushColor(), Lime);
    EXPECT_EQ(form->shMidiOut->toolTip(), "Port MidiOut ouvert");
    EXPECT_EQ(backend->sentMessages(0), (std::vector<Bytes>{{0x90, 0x3F, 0x64}, {0x80, 0x3F, 0x64}}));

    backend->clearSent(0);
    backend->injectBytes(0, {0x90, 0x40, 100});
    ASSERT_TRUE(WaitForSent(1));
    EXPECT_EQ(backend->sentMessages(0), std::vector<Bytes>({{0x90, 0x40, form->TransferTable[100]}}));
    EXPECT_TRUE(reported.isEmpty()) << ReportedText();
}

// Without an output the program's own test note reports the closed port;
// what arrives is lost, counted and shown on the error lamp, without a box.
TEST_F(MidiWindowTest, WithoutAnOutputTheTestNoteReportsTheClosedPortAndEveryNoteIsLost)
{
    backend->addInput(Named("Keyboard"));
    StartWithMidi();
    EXPECT_TRUE(form->cbMIDIOut->count() == 0);
    EXPECT_EQ(form->shMidiOut->BrushColor(), Red);
    EXPECT_EQ(form->shMidiOut->toolTip(), "Port MidiOut fermé");
    EXPECT_EQ(form->shMidiIn->BrushColor(), Lime);
    EXPECT_EQ(reported, QStringList{"MIDI Output device not open"});
    EXPECT_FALSE(form->LedMidiErr->LedOn());

    backend->injectBytes(0, {0x90, 0x40, 100});
    backend->injectBytes(0, {0x80, 0x40, 0});
    EXPECT_TRUE(QTest::qWaitFor([&] { return routing->Traffic().Lost == 2; }, 5000));
    EXPECT_TRUE(form->LedMidiErr->LedOn());
    EXPECT_EQ(reported, QStringList{"MIDI Output device not open"});
}

TEST_F(MidiWindowTest, WithoutAnInputTheSelectorIsEmptyAndTheShapeRed)
{
    backend->addOutput(Named("Synth"));
    StartWithMidi();
    EXPECT_EQ(form->cbMIDIIn->count(), 0);
    EXPECT_EQ(form->shMidiIn->BrushColor(), Red);
    EXPECT_EQ(form->shMidiIn->toolTip(), "Port MidiIn fermé");
    EXPECT_EQ(backend->sentMessages(0).size(), 2u); // the test note still plays
}

TEST_F(MidiWindowTest, AnUnreadableInputIsLeftOutOfTheList)
{
    backend->addInput(Named("First"));
    backend->addInput(Named("Broken"));
    backend->addInput(Named("Third"));
    backend->setInputCapsError(1, MMSYSERR_ERROR);
    backend->addOutput(Named("Synth"));
    StartWithMidi();
    EXPECT_EQ(Items(form->cbMIDIIn), QStringList({"First", "Third"}));
    EXPECT_TRUE(backend->isInputOpen(0));

    // Chosen by name, so the third device opens although it is second in the list.
    form->cbMIDIIn->setCurrentIndex(1);
    emit form->cbMIDIIn->activated(1);
    EXPECT_TRUE(backend->isInputOpen(2));
    EXPECT_FALSE(backend->isInputOpen(0));
    EXPECT_EQ(form->shMidiIn->BrushColor(), Lime);
}

TEST_F(MidiWindowTest, OutputsWithTheSameNameBothListAndTheFirstOneOpens)
{
    backend->addInput(Named("Keyboard"));
    backend->addOutput(Named("USB MIDI"));
    backend->addOutput(Named("USB MIDI"));
    StartWithMidi();
    EXPECT_EQ(Items(form->cbMIDIOut), QStringList({"USB MIDI", "USB MIDI"}));
    form->cbMIDIOut->setCurrentIndex(1);
    emit form->cbMIDIOut->activated(1);
    EXPECT_TRUE(backend->isOutputOpen(0));
    EXPECT_FALSE(backend->isOutputOpen(1));
}

TEST_F(MidiWindowTest, AnOutputInUseStaysClosedAndRed)
{
    backend->addInput(Named("Keyboard"));
    backend->addOutput(Named("Busy synth"));
    backend->setOutputOpenError(0, MMSYSERR_ALLOCATED);
    StartWithMidi();
    EXPECT_FALSE(backend->isOutputOpen(0));
    EXPECT_EQ(form->shMidiOut->BrushColor(), Red);
    EXPECT_EQ(form->shMidiOut->toolTip(), "Port MidiOut fermé");
    EXPECT_EQ(reported, QStringList{"MIDI Output device not open"});
}

TEST_F(MidiWindowTest, FreeingThePortsClosesThemAndLeavesTheShapes)
{
    StartWithOneOfEach();
    routing->FreeMidiPorts();
    EXPECT_FALSE(backend->isInputOpen(0));
    EXPECT_FALSE(backend->isOutputOpen(0));
    EXPECT_EQ(form->shMidiIn->BrushColor(), Lime);
    EXPECT_EQ(form->shMidiOut->toolTip(), "Port MidiOut ouvert");
    EXPECT_EQ(routing->MidiIn, nullptr);
    EXPECT_EQ(routing->MidiOut, nullptr);
    // The window goes first, as at the program's end: it detaches itself from the routing.
    StopWindow();
}

} // namespace
