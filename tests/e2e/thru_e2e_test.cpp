// SPDX-License-Identifier: GPL-3.0-or-later
// The MIDI path off the main thread, on a JACK server: every message leaves
// in the cycle it arrives in, at its frame, whatever the window is doing;
// what does not fit a cycle waits for the next ones, whole and in order;
// nothing leaves while the close question is up.
#include "app/about_box.h"
#include "app/qt_prompts.h"
#include "app/widgets/curve_chart.h"
#include "app/widgets/led_indicator.h"
#include "platform/midi/backends/composite_midi_backend.h"
#include "platform/midi/backends/jack/jack_midi_backend.h"
#include "private_jack_server.h"
#include "support/chart_mouse.h"
#include "virtual_midi_backend.h"
#include "window_on_jack.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QTimer>

#include <functional>
#include <random>

namespace {

// The velocity a Note On leaves with through the table: never 0 for a played note.
std::uint8_t Played(const TTransferTable& table, std::uint8_t velocity)
{
    return velocity > 0 && table[velocity] == 0 ? 1 : table[velocity];
}

// Note i of a run: its key and channel tell its place, its velocity is never 0.
std::array<std::uint8_t, 3> NumberedNote(std::size_t i)
{
    return {static_cast<std::uint8_t>(0x90 | ((i / 128) % 16)), static_cast<std::uint8_t>(i % 128),
            static_cast<std::uint8_t>(1 + i % 127)};
}

// Answers the close question with a callback of the test's, which runs
// while the question is up.
class QuestionPrompts final : public IPrompts {
public:
    std::function<Answer()> whileAsked;

    Answer AskYesNoCancel(QWidget*, const QString&) override { return whileAsked(); }
    std::optional<QString> ChooseFileToOpen(QWidget*, const FileDialogSpec&) override { return std::nullopt; }
    std::optional<QString> ChooseFileToSave(QWidget*, const FileDialogSpec&) override { return std::nullopt; }
    void ShowError(QWidget*, const QString&) override {}
    void ShowMessage(QWidget*, const QString&) override {}
    std::optional<int> AskNumber(QWidget*, const QString&, int, int, int) override { return std::nullopt; }
};

class ThruOnJack : public WindowOnJack {
protected:
    // The window with prompts of the test's own.
    void StartWith(IPrompts& own)
    {
        routing = std::make_unique<TMidiRouting>();
        routing->CreateMidiPorts();
        form = std::make_unique<TfmMain>(own, routing.get());
        ASSERT_TRUE(WaitForEvents(2)) << "no test note";
        heard = probe->events().size();
    }

    // Plays `run`, then waits until as many events have come back (false
    // after 60 s); they are then probe->events() from `heard` on.
    bool PlayAndCollect(const std::vector<JackProbe::Timed>& run)
    {
        probe->startRun(run);
        return WaitForEvents(heard + run.size(), 60s);
    }

    // Every reply came back in order, exactly one period after it was played.
    void ExpectEveryReplyOnePeriodLater(const std::vector<JackProbe::Timed>& run)
    {
        const auto played = probe->playedFrames();
        const auto& events = probe->events();
        ASSERT_EQ(events.size(), heard + run.size());
        for (std::size_t i = 0; i < run.size(); ++i) {
            const auto& event = events[heard + i];
            ASSERT_EQ(event.bytes.size(), 3u) << "reply " << i;
            ASSERT_EQ(event.bytes[0], run[i].bytes[0]) << "reply " << i;
            ASSERT_EQ(event.bytes[1], run[i].bytes[1]) << "reply " << i;
            ASSERT_NE(event.bytes[2], 0) << "reply " << i;
            ASSERT_EQ(event.frame - played[i], probe->periodFrames()) << "reply " << i;
        }
    }
};

TEST_F(ThruOnJack, EveryReplyLeavesInItsCycleAtItsFrame)
{
    probe = std::make_unique<JackProbe>("keyboard");
    Start();
    // Loop topology: the probe plays into the program and hears it back, as
    // through a wire: one period later, at the same frame of the cycle.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> within(0, 40.0 * probe->periodFrames());
    std::vector<JackProbe::Timed> run;
    for (std::size_t i = 0; i < 300; ++i)
        run.push_back({within(random), NumberedNote(i)});
    std::sort(run.begin(), run.end(), [](const auto& a, const auto& b) { return a.offset < b.offset; });
    ASSERT_TRUE(PlayAndCollect(run));
    ExpectEveryReplyOnePeriodLater(run);
    for (std::size_t i = 0; i < run.size(); ++i)
        EXPECT_EQ(probe->events()[heard + i].bytes[2], Played(form->TransferTable, run[i].bytes[2]));
}

TEST_F(ThruOnJack, ABurstOfNotesInOnePeriodComesBackWholeAndInOrder)
{
    probe = std::make_unique<JackProbe>("keyboard");
    Start();
    std::vector<JackProbe::Timed> burst;
    for (std::size_t i = 0; i < 2700; ++i)
        burst.push_back({0, NumberedNote(i)});
    ASSERT_TRUE(PlayAndCollect(burst)) << probe->events().size() - heard << " of " << burst.size();
    const auto& events = probe->events();
    for (std::size_t i = 0; i < burst.size(); ++i) {
        const std::array<std::uint8_t, 3> note = NumberedNote(i);
        ASSERT_EQ(events[heard + i].bytes, (Bytes{note[0], note[1], Played(form->TransferTable, note[2])}))
            << "note " << i;
    }
    // Only the window's copies could be lost (its queue holds 1,024): no MIDI was.
    EXPECT_TRUE(QTest::qWaitFor([&] { return routing->MidiIn->MessageCount() == 0; }, 5000));
    EXPECT_FALSE(form->LedMidiErr->LedOn());
}

TEST_F(ThruOnJack, WhileTheWindowIsWorkedNoMessageIsLateOrLost)
{
    probe = std::make_unique<JackProbe>("keyboard");
    QtPrompts dialogs;
    StartWith(dialogs);
    ASSERT_TRUE(ShowWindow());
    // Notes at 1,000 a second for 4 s.
    std::vector<JackProbe::Timed> run;
    const double spacing = probe->sampleRate() / 1000.0;
    for (std::size_t i = 0; i < 4000; ++i)
        run.push_back({static_cast<double>(i) * spacing, NumberedNote(i)});
    probe->startRun(run);

    // What keeps the main thread busy: a file dialog through the menu, a
    // drag of a point round a circle, the About box held open.
    int dialogsShown = 0;
    const auto closeModalAfter = [&](int ms) {
        QTimer::singleShot(ms, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                ++dialogsShown;
                qobject_cast<QDialog*>(modal)->reject();
            }
        });
    };
    closeModalAfter(800);
    form->ActGraphOpen->trigger();

    ChartMouse mouse(form->Chart1);
    mouse.Press(mouse.Pixel(form->tbPtIn[1]->Position(), form->tbPtOut[1]->Position()));
    for (int step = 0; step < 120; ++step) {
        const double angle = step * 6.283185307 / 60;
        mouse.Move(mouse.Pixel(80 + 10 * std::cos(angle), 100 + 10 * std::sin(angle)));
        QTest::qWait(8);
    }
    mouse.Release(mouse.Pixel(80, 100));

    closeModalAfter(1200);
    form->ActAppAbout->trigger();
    EXPECT_EQ(dialogsShown, 2);

    ASSERT_TRUE(WaitForEvents(heard + run.size(), 60s)) << probe->events().size() - heard << " of " << run.size();
    ExpectEveryReplyOnePeriodLater(run);
    EXPECT_FALSE(form->LedMidiErr->LedOn());
    EXPECT_TRUE(reported.isEmpty()) << ReportedText();
}

TEST_F(ThruOnJack, NothingLeavesWhileTheCloseQuestionIsUp)
{
    probe = std::make_unique<JackProbe>("keyboard");
    QuestionPrompts question;
    StartWith(question);
    form->tbPtsCnt->SetPosition(3); // a change to keep
    question.whileAsked = [&] {
        for (std::uint8_t key = 0; key < 20; ++key)
            probe->send({0x90, key, 100});
        probe->send({0x90, 99, 77});
        // The window still hears them: the last one shows in the label.
        const QString last = QStringLiteral("In = 77 -> Out = %1").arg(form->TransferTable[77]);
        EXPECT_TRUE(QTest::qWaitFor([&] { return form->lblMidiLastMsg->text() == last; }, 10000));
        return IPrompts::Answer::Cancel;
    };
    form->close();
    EXPECT_FALSE(form->CloseRequested);
    probe->collect();
    EXPECT_EQ(probe->events().size(), heard) << "a message left while the question was up";

    // Cancelled: messages leave again.
    EXPECT_EQ(RoundTrip(100), Mapped(100));
}

TEST_F(ThruOnJack, AnUnterminatedSystemExclusiveMessageHoldsNothingBack)
{
    probe = std::make_unique<JackProbe>("keyboard");
    Start();
    const Bytes piece{0xF0, 0x7E, 0x7F, 0x09, 0x01};
    probe->send(piece);
    for (std::uint8_t key = 0; key < 100; ++key)
        probe->send({0x90, key, 100});
    ASSERT_TRUE(WaitForEvents(heard + 101));
    const auto& events = probe->events();
    EXPECT_EQ(events[heard].bytes, piece) << "passed on as it came";
    for (std::uint8_t key = 0; key < 100; ++key)
        EXPECT_EQ(events[heard + 1 + key].bytes, (Bytes{0x90, key, Played(form->TransferTable, 100)}));
}

// A system-exclusive message of 1 MB, no two pieces alike.
Bytes LongSysex()
{
    Bytes sysex(1000000);
    for (std::size_t i = 0; i < sysex.size(); ++i)
        sysex[i] = static_cast<std::uint8_t>((i * 31 + i / 4096) % 128);
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    return sysex;
}

TEST_F(ThruOnJack, ALongSystemExclusiveMessageInPiecesLeavesWholeWithItsClocksInTheirCycles)
{
    probe = std::make_unique<JackProbe>("keyboard");
    Start();
    const Bytes sysex = LongSysex();
    constexpr std::size_t Piece = 4096;
    std::size_t sent = 0;
    for (std::size_t offset = 0; offset < sysex.size(); offset += Piece) {
        probe->send(Bytes(sysex.begin() + offset, sysex.begin() + std::min(offset + Piece, sysex.size())));
        ++sent;
        if (offset + Piece < sysex.size()) {
            probe->send({0xF8});
            ++sent;
        }
    }
    ASSERT_TRUE(WaitForEvents(heard + sent, 60s)) << probe->events().size() - heard << " of " << sent;
    const auto received = Messages(probe->events(), heard);
    ASSERT_EQ(received.size(), sent / 2 + 1);
    EXPECT_TRUE(received.back() == sysex) << "the message came back cut or changed";
    // A clock left with a piece it was played beside, not held for the end.
    const auto& events = probe->events();
    for (std::size_t i = heard + 1; i + 1 < events.size(); ++i) {
        if (events[i].bytes != Bytes{0xF8})
            continue;
        ASSERT_TRUE(events[i].frame == events[i - 1].frame || events[i].frame == events[i + 1].frame)
            << "clock " << i - heard;
    }
}

// The window on virtual inputs and the JACK server's ports at once.
class VirtualInputToJack : public WindowOnJack {
protected:
    void StartBoth()
    {
        virtualDevices = std::make_shared<VirtualMidiBackend>();
        VirtualMidiBackend::DeviceSpec keys;
        keys.name = "Keys";
        virtualDevices->addInput(keys);
        SetMidiBackend(std::make_shared<CompositeMidiBackend>(std::vector<std::shared_ptr<MidiBackend>>{
            virtualDevices, std::make_shared<JackMidiBackend>(MidiClientName())}));
        probe = std::make_unique<JackProbe>("synth");
        Start();
        ASSERT_EQ(form->cbMIDIIn->currentText(), "Keys");
        ASSERT_EQ(form->cbMIDIOut->currentText(), "synth:in");
    }

    std::shared_ptr<VirtualMidiBackend> virtualDevices;
};

TEST_F(VirtualInputToJack, ALongSystemExclusiveMessageLeavesWholeEndingInItsEnd)
{
    StartBoth();
    const Bytes sysex = LongSysex();
    virtualDevices->injectBytes(0, {0x90, 60, 100});
    virtualDevices->injectBytes(0, sysex);
    virtualDevices->injectBytes(0, {0x90, 61, 100});
    std::vector<Bytes> received;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            probe->collect();
            received = Messages(probe->events(), heard);
            return received.size() >= 3;
        },
        60000));
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0], (Bytes{0x90, 60, Played(form->TransferTable, 100)}));
    EXPECT_TRUE(received[1] == sysex) << "the message came back cut or changed";
    EXPECT_EQ(received[2], (Bytes{0x90, 61, Played(form->TransferTable, 100)}));
}

TEST_F(VirtualInputToJack, AServerKilledUnderTheOutputLeavesTheWindowAnsweringAndItsShapeRed)
{
    PrivateJackServer server;
    StartBoth();
    ASSERT_EQ(form->shMidiOut->BrushColor(), Lime);
    // The keyboard goes on playing while the server dies under the output.
    for (int i = 0; i < 2000; ++i) {
        virtualDevices->injectShort(0, 0x90 | (static_cast<DWORD>(i % 128) << 8) | (100u << 16));
        if (i == 500) {
            server.kill();
            probe.reset();
        }
        if (i % 50 == 0)
            QCoreApplication::processEvents();
    }
    virtualDevices->waitIdle();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->shMidiOut->BrushColor() == Red; }, 10000));
    EXPECT_EQ(form->shMidiOut->toolTip(), "Port MidiOut déconnecté");
    EXPECT_EQ(form->shMidiIn->BrushColor(), Lime);
    ExpectTheWindowToKeepAnswering(300ms);
    EXPECT_TRUE(reported.isEmpty()) << ReportedText();
    // The program's end does not wait for the server either.
    StopWindow();
}

TEST_F(ThruOnJack, AfterTheServerStartsAgainForwardingResumesInEitherOrderOfChoosing)
{
    PrivateJackServer server;
    for (const bool outputFirst : {true, false}) {
        SCOPED_TRACE(outputFirst ? "output chosen first" : "left to reconnect by itself");
        probe = std::make_unique<JackProbe>("keyboard");
        Start();
        ASSERT_EQ(RoundTrip(100), Mapped(100));
        server.kill();
        probe.reset();
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->shMidiOut->BrushColor() == Red; }, 10000));

        server.start();
        probe = std::make_unique<JackProbe>("keyboard");
        if (outputFirst) {
            // The user picks the keyboard again, as soon as it is listed.
            const std::pair<QComboBox*, std::string> picks[2] = {{form->cbMIDIOut, probe->inputPort()},
                                                                  {form->cbMIDIIn, probe->outputPort()}};
            for (const auto& [selector, port] : picks) {
                const QString name = QString::fromStdString(port);
                ASSERT_TRUE(QTest::qWaitFor([&] { return selector->findText(name) >= 0; }, 10000)) << port;
                selector->setCurrentIndex(selector->findText(name));
                emit selector->activated(selector->currentIndex());
            }
        }
        // Without a choice, the devices open again once the program sees them back.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return form->shMidiIn->BrushColor() == Lime && form->shMidiOut->BrushColor() == Lime; }, 10000));
        EXPECT_EQ(RoundTrip(50), Mapped(50));
        EXPECT_TRUE(reported.isEmpty()) << ReportedText();
        Stop();
    }
}

} // namespace
