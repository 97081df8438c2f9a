// SPDX-License-Identifier: GPL-3.0-or-later
// Devices as musicians use them, with the window and its ports in the test's
// own process on the real JACK backend: probe clients that come and go stand
// for keyboards, synths and programs, on the shared server or on one of the
// test's own that stops and starts again. What the program did is read from
// the server itself (which port our client's ports are connected to, which
// ports exist) and from what the probes receive, not only from the window.
// Last, every kind of message through the curve in both modes of the menu "MIDI".
#include "app/app_settings.h"
#include "app/main_window.h"
#include "app/widgets/status_shape.h"
#include "jack_probe.h"
#include "platform/midi/midi_services.h"
#include "private_jack_server.h"
#include "routing/midi_routing.h"
#include "support/window_fixture.h"

#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Names = std::vector<std::string>;

const QColor Lime(0, 255, 0);
const QColor Red(255, 0, 0);

const char* const OurInput = "Velomorph:in";
const char* const OurOutput = "Velomorph:out";

QStringList Items(const QComboBox* combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

bool Lists(const QComboBox* combo, const std::string& name)
{
    return Items(combo).contains(QString::fromStdString(name));
}

Names Sorted(Names names)
{
    std::sort(names.begin(), names.end());
    return names;
}

// Counts the hints a status shape is given: opening or closing its port
// always sets one.
class HintCounter : public QObject {
public:
    explicit HintCounter(QWidget* shape) { shape->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::ToolTipChange)
            ++count;
        return false;
    }
};

class DevicesOnJack : public WindowFixture {
protected:
    // One selector with what belongs to it: our port that its device is
    // connected to, the device's port of a probe, the shape and its hint.
    struct Side {
        const char* name;
        QComboBox* TfmMain::*selector;
        TStatusShape* TfmMain::*shape;
        TPortSide side;
        const char* ourPort;
        std::string (JackProbe::*devicePort)() const;
        const char* lostHint;
    };
    static inline const Side Sides[2] = {
        {"input", &TfmMain::cbMIDIIn, &TfmMain::shMidiIn, TPortSide::Input, OurInput, &JackProbe::outputPort,
         "Port MidiIn déconnecté"},
        {"output", &TfmMain::cbMIDIOut, &TfmMain::shMidiOut, TPortSide::Output, OurOutput, &JackProbe::inputPort,
         "Port MidiOut déconnecté"},
    };

    void SetUp() override
    {
        if (!std::getenv("JACK_DEFAULT_SERVER"))
            GTEST_SKIP() << "needs the private JACK server of the test fixture";
        WindowFixture::SetUp();
        SetMidiBackend(nullptr);
        TAppSettings settings;
        settings.SetLastInput({});
        settings.SetLastOutput({});
        settings.SetNotesOnly(false);
    }

    void TearDown() override
    {
        StopWindow();
        probes.clear();
        patchbay.reset();
        WindowFixture::TearDown();
        SetMidiBackend(nullptr);
    }

    // A device of that name appears: a probe client with ports "out" and "in".
    JackProbe& Add(const std::string& name)
    {
        auto& probe = probes[name];
        probe = std::make_unique<JackProbe>(name);
        return *probe;
    }

    // The device goes: its client closes and its ports with it.
    void Remove(const std::string& name) { probes.erase(name); }

    JackProbe& Probe(const std::string& name) { return *probes.at(name); }

    // The window with its ports, which opens the first devices listed and
    // plays its test note on the output's.
    void Start(const std::string& firstDevice)
    {
        StartWithMidi();
        ASSERT_TRUE(Eventually([&] { return Probe(firstDevice).waitForEvents(2, 0ms); })) << "no test note";
        Probe(firstDevice).clearEvents();
    }

    // Handles the window's events until `done` holds; false after the limit.
    template <class Condition>
    static bool Eventually(Condition done, int limitMs = 10000)
    {
        return QTest::qWaitFor(done, limitMs);
    }

    // What the server says is connected to a port, sorted; asked through a
    // client of the test's own, which is listed as a device too.
    Names Connections(const std::string& port)
    {
        if (!patchbay)
            patchbay = std::make_unique<JackProbe>("patchbay");
        return Sorted(patchbay->connections(port));
    }

    // Waits until the server shows exactly `expected` connected to `port`: a
    // connection made or undone shows to the other clients from the server's
    // next cycle on.
    ::testing::AssertionResult ConnectedTo(const std::string& port, const Names& expected)
    {
        Names now;
        if (Eventually([&] { return (now = Connections(port)) == Sorted(expected); }))
            return ::testing::AssertionSuccess();
        auto failure = ::testing::AssertionFailure() << port << " is connected to {";
        for (const std::string& name : now)
            failure << ' ' << name;
        return failure << " }";
    }

    // The user picks an item of a selector as it shows now.
    void Choose(const Side& side, const std::string& name)
    {
        QComboBox* combo = form.get()->*side.selector;
        const int index = combo->findText(QString::fromStdString(name));
        ASSERT_GE(index, 0) << name;
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }

    // Sends one message from `from` and returns the first event `to` receives
    // afterwards; empty after 5 s.
    Bytes RoundTrip(JackProbe& from, JackProbe& to, const Bytes& message)
    {
        to.collect();
        const std::size_t before = to.events().size();
        from.send(message);
        if (!Eventually([&] { return to.waitForEvents(before + 1, 0ms); }, 5000))
            return {};
        return to.events()[before].bytes;
    }

    std::map<std::string, std::unique_ptr<JackProbe>> probes;
    std::unique_ptr<JackProbe> patchbay;
};

TEST_F(DevicesOnJack, ADeviceThatAppearsAfterTheStartIsListedAndNothingOpensAgain)
{
    JackProbe& keyboard = Add("keyboard");
    Start("keyboard");
    HintCounter inputHints(form->shMidiIn);
    HintCounter outputHints(form->shMidiOut);

    JackProbe& pads = Add("pads");
    for (const Side& side : Sides) {
        SCOPED_TRACE(side.name);
        QComboBox* combo = form.get()->*side.selector;
        ASSERT_TRUE(Eventually([&] { return Lists(combo, (pads.*side.devicePort)()); }));
        EXPECT_EQ(combo->currentText().toStdString(), (keyboard.*side.devicePort)());
        // Our own ports are never offered.
        for (const QString& item : Items(combo))
            EXPECT_FALSE(item.startsWith("Velomorph:")) << item.toStdString();
        EXPECT_TRUE(ConnectedTo(side.ourPort, {(keyboard.*side.devicePort)()}));
    }
    EXPECT_EQ(inputHints.count, 0) << "the input port was opened again";
    EXPECT_EQ(outputHints.count, 0) << "the output port was opened again";
    EXPECT_EQ(RoundTrip(keyboard, keyboard, {0x90, 60, 100}), (Bytes{0x90, 60, form->TransferTable[100]}));
    EXPECT_FALSE(pads.waitForEvents(1, 0ms));

    // Gone again: off the lists, and the chosen devices stay open.
    const std::string padsPorts[2] = {pads.outputPort(), pads.inputPort()};
    Remove("pads");
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(Eventually([&] { return !Lists(form.get()->*Sides[i].selector, padsPorts[i]); }));
    EXPECT_EQ(inputHints.count, 0);
    EXPECT_EQ(outputHints.count, 0);
    EXPECT_EQ(RoundTrip(keyboard, keyboard, {0x90, 61, 90}), (Bytes{0x90, 61, form->TransferTable[90]}));
    EXPECT_TRUE(reported.isEmpty()) << ReportedText();
}

TEST_F(DevicesOnJack, ADeviceThatGoesTurnsRedAndOpensAgainByItselfWhileNotesFlowLosingNoneAfterwards)
{
    Add("keyboard");
    Start("keyboard");
    const std::uint8_t mapped = form->TransferTable[100];
    ASSERT_EQ(RoundTrip(Probe("keyboard"), Probe("keyboard"), {0x90, 60, 100}), (Bytes{0x90, 60, mapped}));

    Remove("keyboard"); // both of its ports go while both of ours are open on them
    ASSERT_TRUE(Eventually(
        [&] { return routing->PortIsLost(TPortSide::Input) && routing->PortIsLost(TPortSide::Output); }));
    for (const Side& side : Sides) {
        SCOPED_TRACE(side.name);
        EXPECT_EQ((form.get()->*side.shape)->BrushColor(), Red);
        EXPECT_EQ((form.get()->*side.shape)->toolTip().toStdString(), side.lostHint);
        // Never shown as chosen while it is not connected.
        EXPECT_EQ((form.get()->*side.selector)->currentText(), TMidiRouting::NoDeviceEntry);
        EXPECT_TRUE(ConnectedTo(side.ourPort, {}));
    }

    // Back under the same name, playing all the while: notes on channel 1
    // before both shapes are lime again, then numbered ones on the other
    // channels, every one of which must come back, in order.
    JackProbe& keyboard = Add("keyboard");
    const auto open = [&] {
        return form->shMidiIn->BrushColor() == Lime && form->shMidiOut->BrushColor() == Lime;
    };
    std::vector<Bytes> expected;
    constexpr std::size_t AfterReconnection = 600;
    for (int sent = 0; expected.size() < AfterReconnection; ++sent) {
        ASSERT_LT(sent, 20000) << "the device was not opened again";
        Bytes note{0x90, static_cast<std::uint8_t>(sent % 128), 100};
        if (open()) {
            const std::size_t n = expected.size();
            note = {static_cast<std::uint8_t>(0x91 + n / 128), static_cast<std::uint8_t>(n % 128), 100};
            expected.push_back({note[0], note[1], mapped});
        }
        keyboard.send(note);
        QTest::qWait(1); // a few notes per period, and the window hears of the device meanwhile
    }
    std::vector<Bytes> received;
    EXPECT_TRUE(Eventually([&] {
        keyboard.waitForEvents(0, 0ms);
        received.clear();
        for (const JackProbe::Event& event : keyboard.events()) {
            if (event.bytes.size() == 3 && event.bytes[0] != 0x90)
                received.push_back(event.bytes);
        }
        return received.size() >= expected.size();
    }));
    EXPECT_EQ(received, expected);
    for (const Side& side : Sides) {
        SCOPED_TRACE(side.name);
        EXPECT_FALSE(routing->PortIsLost(side.side));
        EXPECT_TRUE(ConnectedTo(side.ourPort, {(keyboard.*side.devicePort)()}));
    }
    EXPECT_EQ(form->shMidiIn->toolTip(), "Port MidiIn ouvert");
    EXPECT_EQ(form->shMidiOut->toolTip(), "Port MidiOut ouvert");
    EXPECT_TRUE(reported.isEmpty()) << ReportedText();
}

TEST_F(DevicesOnJack, DevicesOfAServerThatStartsAgainOpenByThemselves)
{
    PrivateJackServer server;
    Add("keyboard");
    Start("keyboard");
    server.kill();
    Remove("keyboard");
    ASSERT_TRUE(Eventually(
        [&] { return routing->PortIsLost(TPortSide::Input) && routing->PortIsLost(TPortSide::Output); }));
    for (const Side& side : Sides) {
        SCOPED_TRACE(side.name);
        EXPECT_EQ((form.get()->*side.shape)->BrushColor(), Red);
        EXPECT_EQ((form.get()->*side.shape)->toolTip().toStdString(), side.lostHint);
    }

    // Nothing tells of a server that starts: the lists are counted again now and then.
    server.start();
    JackProbe& back = Add("keyboard");
    for (const Side& side : Sides) {
        SCOPED_TRACE(side.name);
        EXPECT_TRUE(ConnectedTo(side.ourPort, {(back.*side.devicePort)()}));
        EXPECT_TRUE(Eventually([&] { return (form.get()->*side.shape)->BrushColor() == Lime; }));
    }
    EXPECT_EQ(RoundTrip(back, back, {0x90, 60, 100}), (Bytes{0x90, 60, form->TransferTable[100]}));
    EXPECT_TRUE(reported.isEmpty()) << ReportedText();
    // Our clients leave before the server goes.
    StopWindow();
    probes.clear();
    patchbay.reset();
}

TEST_F(DevicesOnJack, ADeviceChosenFromAListThatChangedOpensByNameOrNotAtAllNeverAnother)
{
    JackProbe& keyboard = Add("keyboard");
    Start("keyboard");
    for (const Side& side : Sides) {
        SCOPED_TRACE(side.name);
        QComboBox* combo = form.get()->*side.selector;
        // Devices of this side's own, so that the other side keeps its choice.
        const std::string prefix = side.side == TPortSide::Input ? "in-" : "out-";
        std::vector<std::string> ports;
        for (const char* name : {"synth", "daw", "sampler"})
            ports.push_back((Add(prefix + name).*side.devicePort)());
        ASSERT_TRUE(Eventually([&] {
            return std::all_of(ports.begin(), ports.end(), [&](const std::string& p) { return Lists(combo, p); });
        }));
        // The three as the selector shows them: the user picks the middle one
        // while the one above it goes, so that its number now means the one below.
        std::sort(ports.begin(), ports.end(), [&](const std::string& a, const std::string& b) {
            return combo->findText(QString::fromStdString(a)) < combo->findText(QString::fromStdString(b));
        });
        const auto client = [](const std::string& port) { return port.substr(0, port.find(':')); };
        const int picked = combo->findText(QString::fromStdString(ports[1]));
        combo->setCurrentIndex(picked);
        Remove(client(ports[0]));
        emit combo->activated(picked);
        EXPECT_TRUE(ConnectedTo(side.ourPort, {ports[1]}));
        EXPECT_EQ((form.get()->*side.shape)->BrushColor(), Lime);
        // And messages go through it, not through the one below.
        JackProbe& chosen = Probe(client(ports[1]));
        const Bytes note{0x90, 62, 80};
        const Bytes out{0x90, 62, form->TransferTable[80]};
        EXPECT_EQ(side.side == TPortSide::Input ? RoundTrip(chosen, keyboard, note) : RoundTrip(keyboard, chosen, note),
                  out);
        if (side.side == TPortSide::Output) {
            EXPECT_FALSE(Probe(client(ports[2])).waitForEvents(1, 0ms));
        }

        // A device that has gone when it is picked: our port is left with
        // nothing connected, and waits for it.
        const std::string gone = (Add(prefix + "gone").*side.devicePort)();
        ASSERT_TRUE(Eventually([&] { return Lists(combo, gone); }));
        const int goneIndex = combo->findText(QString::fromStdString(gone));
        combo->setCurrentIndex(goneIndex);
        Remove(client(gone));
        emit combo->activated(goneIndex);
        EXPECT_TRUE(ConnectedTo(side.ourPort, {}));
        EXPECT_EQ((form.get()->*side.shape)->BrushColor(), Red);
        EXPECT_EQ((form.get()->*side.shape)->toolTip().toStdString(), side.lostHint);
        EXPECT_EQ(combo->currentText().toStdString(), TMidiRouting::NoDeviceEntry);
        // Once it is back it is connected by itself.
        Add(client(gone));
        EXPECT_TRUE(ConnectedTo(side.ourPort, {gone}));
        EXPECT_TRUE(Eventually([&] { return (form.get()->*side.shape)->BrushColor() == Lime; }));

        Choose(side, (keyboard.*side.devicePort)());
        EXPECT_TRUE(ConnectedTo(side.ourPort, {(keyboard.*side.devicePort)()}));
    }
    EXPECT_TRUE(reported.isEmpty()) << ReportedText();
}

// Choosing a device makes it our port's only connection; a connection made
// by hand beside it shows as "2 appareils" and carries its notes too, merged.
TEST_F(DevicesOnJack, OurClientKeepsItsTwoPortsAndChoosingADeviceMakesItTheOnlyConnection)
{
    JackProbe& keyboard = Add("keyboard");
    Start("keyboard");
    JackProbe& sequencer = Add("sequencer");
    Add("pads");
    for (const Side& side : Sides) {
        ASSERT_TRUE(Eventually([&] {
            return Lists(form.get()->*side.selector, (Probe("pads").*side.devicePort)())
                && Lists(form.get()->*side.selector, (sequencer.*side.devicePort)());
        }));
    }

    for (const char* device : {"pads", "keyboard", "pads"}) {
        SCOPED_TRACE(device);
        // Made in a patchbay: the sequencer plays into our input too.
        ASSERT_TRUE(sequencer.connect(sequencer.outputPort(), OurInput));
        ASSERT_TRUE(Eventually([&] { return form->cbMIDIIn->currentText() == "2 appareils"; }));
        JackProbe& chosen = Probe(device);
        for (const Side& side : Sides)
            Choose(side, (chosen.*side.devicePort)());
        EXPECT_TRUE(ConnectedTo(OurInput, {chosen.outputPort()}));
        EXPECT_TRUE(ConnectedTo(OurOutput, {chosen.inputPort()}));
        ASSERT_TRUE(sequencer.connect(sequencer.outputPort(), OurInput));
        ASSERT_TRUE(Eventually([&] { return form->cbMIDIIn->currentText() == "2 appareils"; }));
        const QStringList named = form->cbMIDIIn->toolTip().split('\n');
        EXPECT_EQ(Sorted({named[0].toStdString(), named.value(1).toStdString()}),
                  Sorted({chosen.outputPort(), sequencer.outputPort()}));
        EXPECT_EQ(form->shMidiIn->BrushColor(), Lime);
        // The server's ports, as jack_lsp lists them: ours are the same two.
        Names ours;
        for (const std::string& port : keyboard.allPorts()) {
            if (port.rfind("Velomorph", 0) == 0)
                ours.push_back(port);
        }
        EXPECT_EQ(Sorted(ours), Sorted({OurInput, OurOutput}));
        // Both sources, merged.
        EXPECT_EQ(RoundTrip(sequencer, chosen, {0x90, 64, 70}), (Bytes{0x90, 64, form->TransferTable[70]}));
        EXPECT_EQ(RoundTrip(chosen, chosen, {0x91, 65, 71}), (Bytes{0x91, 65, form->TransferTable[71]}));
    }
    EXPECT_TRUE(reported.isEmpty()) << ReportedText();
}

// Started with no device at all: each port is open with nothing connected.
// A source and a sink patched by hand, as a patchbay does, carry the curve
// and show in the selectors; "(aucun)" takes every connection away.
TEST_F(DevicesOnJack, WithNoDeviceWhatIsPatchedByHandIsForwardedAndShownAndAucunUnpatchesIt)
{
    StartWithMidi();
    const char* const unconnected[2] = {"Port MidiIn : aucun appareil", "Port MidiOut : aucun appareil"};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(Sides[i].name);
        EXPECT_EQ((form.get()->*Sides[i].selector)->currentText(), TMidiRouting::NoDeviceEntry);
        EXPECT_EQ((form.get()->*Sides[i].shape)->BrushColor(), Red);
        EXPECT_EQ((form.get()->*Sides[i].shape)->toolTip().toStdString(), unconnected[i]);
    }

    JackProbe& keyboard = Add("keyboard");
    ASSERT_TRUE(keyboard.connect(keyboard.outputPort(), OurInput));
    ASSERT_TRUE(keyboard.connect(OurOutput, keyboard.inputPort()));
    for (const Side& side : Sides) {
        SCOPED_TRACE(side.name);
        const QString port = QString::fromStdString((keyboard.*side.devicePort)());
        EXPECT_TRUE(Eventually([&] { return (form.get()->*side.selector)->currentText() == port; }));
        EXPECT_EQ((form.get()->*side.selector)->toolTip(), port);
        EXPECT_TRUE(Eventually([&] { return (form.get()->*side.shape)->BrushColor() == Lime; }));
    }
    EXPECT_EQ(RoundTrip(keyboard, keyboard, {0x90, 60, 100}), (Bytes{0x90, 60, form->TransferTable[100]}));

    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(Sides[i].name);
        Choose(Sides[i], TMidiRouting::NoDeviceEntry);
        EXPECT_TRUE(ConnectedTo(Sides[i].ourPort, {}));
        EXPECT_EQ((form.get()->*Sides[i].shape)->BrushColor(), Red);
        EXPECT_EQ((form.get()->*Sides[i].shape)->toolTip().toStdString(), unconnected[i]);
    }
    EXPECT_TRUE(reported.isEmpty()) << ReportedText();
}

// A chosen device that goes leaves our ports open: another device patched by
// hand meanwhile is forwarded. The chosen one, back, is connected again
// beside it, never in its place.
TEST_F(DevicesOnJack, AChosenDeviceThatGoesLeavesThePortsLiveAndComesBackBesideWhatWasPatched)
{
    Add("keyboard");
    Start("keyboard");
    Remove("keyboard");
    ASSERT_TRUE(Eventually(
        [&] { return routing->PortIsLost(TPortSide::Input) && routing->PortIsLost(TPortSide::Output); }));

    JackProbe& pads = Add("pads");
    ASSERT_TRUE(pads.connect(pads.outputPort(), OurInput));
    ASSERT_TRUE(pads.connect(OurOutput, pads.inputPort()));
    EXPECT_EQ(RoundTrip(pads, pads, {0x90, 60, 100}), (Bytes{0x90, 60, form->TransferTable[100]}));

    JackProbe& keyboard = Add("keyboard");
    for (const Side& side : Sides) {
        SCOPED_TRACE(side.name);
        EXPECT_TRUE(ConnectedTo(side.ourPort, {(keyboard.*side.devicePort)(), (pads.*side.devicePort)()}));
        EXPECT_TRUE(Eventually([&] { return (form.get()->*side.selector)->currentText() == "2 appareils"; }));
        EXPECT_FALSE(routing->PortIsLost(side.side));
    }
    EXPECT_EQ(RoundTrip(keyboard, pads, {0x90, 61, 90}), (Bytes{0x90, 61, form->TransferTable[90]}));
    EXPECT_EQ(RoundTrip(pads, keyboard, {0x90, 62, 80}), (Bytes{0x90, 62, form->TransferTable[80]}));
    EXPECT_TRUE(reported.isEmpty()) << ReportedText();
}

// "Notes seulement", as the menu "MIDI" after "Edition" holds it.
QAction* NotesOnlyItem(const TfmMain& form)
{
    const QList<QAction*> menus = form.menuBar()->actions();
    for (qsizetype i = 1; i < menus.size(); ++i) {
        if (menus[i]->text() != "MIDI" || menus[i - 1]->text() != "Edition" || !menus[i]->menu())
            continue;
        for (QAction* item : menus[i]->menu()->actions()) {
            if (item->text() == "Notes seulement")
                return item;
        }
    }
    return nullptr;
}

TEST_F(DevicesOnJack, EveryKindOfMessageLeavesAsTheMenusModeSays)
{
    JackProbe& keyboard = Add("keyboard");
    Start("keyboard");
    QAction* notesOnly = NotesOnlyItem(*form);
    ASSERT_NE(notesOnly, nullptr);
    ASSERT_TRUE(notesOnly->isCheckable());
    ASSERT_FALSE(notesOnly->isChecked());
    const TTransferTable& t = form->TransferTable;
    // The default curve's foot: a played note would leave silenced.
    ASSERT_EQ(t[1], 0);
    ASSERT_EQ(t[2], 0);

    struct Case {
        const char* name;
        Bytes in;
        Bytes all;       // every kind through the curve
        Bytes notesOnly; // notes only
    };
    const Bytes sysex{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    const Case cases[] = {
        {"note on", {0x90, 60, 100}, {0x90, 60, t[100]}, {0x90, 60, t[100]}},
        {"note on, velocity 1", {0x90, 60, 1}, {0x90, 60, 1}, {0x90, 60, 1}},
        {"note on, velocity 2", {0x93, 60, 2}, {0x93, 60, 1}, {0x93, 60, 1}},
        {"note on, velocity 0", {0x90, 60, 0}, {0x90, 60, t[0]}, {0x90, 60, t[0]}},
        {"note off", {0x80, 60, 64}, {0x80, 60, t[64]}, {0x80, 60, t[64]}},
        {"key pressure", {0xA0, 60, 52}, {0xA0, 60, t[52]}, {0xA0, 60, t[52]}},
        {"control change", {0xB0, 1, 64}, {0xB0, 1, t[64]}, {0xB0, 1, 64}},
        {"pitch bend at rest", {0xE0, 0x00, 0x40}, {0xE0, 0x00, t[0x40]}, {0xE0, 0x00, 0x40}},
        {"program change", {0xC0, 5}, {0xC0, 5}, {0xC0, 5}},
        {"channel pressure", {0xD0, 64}, {0xD0, 64}, {0xD0, 64}},
        {"timing clock", {0xF8}, {0xF8}, {0xF8}},
        {"system exclusive", sysex, sysex, sysex},
    };
    for (const bool notes : {false, true, false}) {
        if (notesOnly->isChecked() != notes)
            notesOnly->trigger();
        ASSERT_EQ(routing->NotesOnly(), notes);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (notes ? ", notes only" : ", every kind"));
            EXPECT_EQ(RoundTrip(keyboard, keyboard, c.in), notes ? c.notesOnly : c.all);
        }
    }
    EXPECT_TRUE(reported.isEmpty()) << ReportedText();
}

} // namespace
