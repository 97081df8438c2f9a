// SPDX-License-Identifier: GPL-3.0-or-later
// What the real program takes from its settings file at start-up, on the
// private JACK server: the devices and the curve file the user chose last
// (chosen in the window, as the program builds it, on the real backend), and
// the "notes only" mode. Which ports the program opened is read from the
// server: what its ports are connected to.
#include "app/app_settings.h"
#include "app/main_window.h"
#include "curve/curve_file.h"
#include "curve/curve_points.h"
#include "curve/transfer_table.h"
#include "curve_builder.h"
#include "jack_probe.h"
#include "platform/midi/midi_services.h"
#include "program_process.h"
#include "support/window_fixture.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Names = std::vector<std::string>;

class ProgramSettingsOnJack : public WindowFixture {
protected:
    void SetUp() override
    {
        if (!std::getenv("JACK_DEFAULT_SERVER"))
            GTEST_SKIP() << "needs the private JACK server of the test fixture";
        ASSERT_TRUE(files.isValid());
        WindowFixture::SetUp();
        SetMidiBackend(nullptr);
        QFile::remove(ConfigHome() + "/Velomorph/Velomorph.conf");
    }

    void TearDown() override
    {
        WindowFixture::TearDown();
        SetMidiBackend(nullptr);
    }

    // Where this process's settings file lives; the program started with it
    // as XDG_CONFIG_HOME reads the same file.
    static QString ConfigHome() { return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation); }

    // The user picks an item of a selector.
    static void Choose(QComboBox* combo, const std::string& name)
    {
        const int index = combo->findText(QString::fromStdString(name));
        ASSERT_GE(index, 0) << name;
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }

    // Sends one message from `from` and waits for the first event `to` receives afterwards; empty after 5 s.
    static Bytes RoundTrip(JackProbe& from, JackProbe& to, const Bytes& message)
    {
        to.collect();
        const std::size_t before = to.events().size();
        from.send(message);
        if (!to.waitForEvents(before + 1, 5s))
            return {};
        return to.events()[before].bytes;
    }

    static Names Connections(const JackProbe& probe, const std::string& port)
    {
        Names names = probe.connections(port);
        std::sort(names.begin(), names.end());
        return names;
    }

    QTemporaryDir files;
};

TEST_F(ProgramSettingsOnJack, TheDevicesAndCurveChosenLastAreInForceAtEachStartOfTheProgram)
{
    auto keyboard = std::make_unique<JackProbe>("keyboard");
    auto pads = std::make_unique<JackProbe>("pads");
    auto sampler = std::make_unique<JackProbe>("sampler");
    const CurvePoints soft = CurveWith(1, {{64, 30}});
    const QString curve = files.filePath("soft.dat");
    WriteCurveFile(QFile::encodeName(curve).toStdString(), soft);
    const TTransferTable table = BuildTransferTable(soft);
    ASSERT_NE(table[100], BuildTransferTable(DefaultCurvePoints)[100]);

    // Chosen in the window: devices that are not the first listed, and a curve file.
    StartWithMidi();
    ASSERT_TRUE(QTest::qWaitFor([&] { return keyboard->waitForEvents(2, 0ms); }, 10000)) << "no test note";
    keyboard->clearEvents();
    Choose(form->cbMIDIIn, pads->outputPort());
    Choose(form->cbMIDIOut, sampler->inputPort());
    form->OpenCurveFile(curve);
    ASSERT_TRUE(reported.isEmpty()) << ReportedText();
    StopWindow();
    SetMidiBackend(nullptr); // our client leaves the server, as the program does at its end

    // The remembered output is missing at the first start: the first output
    // listed opens meanwhile, and is not remembered in its place.
    const std::string samplerInput = sampler->inputPort();
    sampler.reset();
    {
        ProgramProcess program(ConfigHome());
        ASSERT_TRUE(keyboard->waitForEvents(2, 20s)) << "no test note\n" << program.output();
        EXPECT_EQ(Connections(*keyboard, "Velomorph:in"), Names{pads->outputPort()});
        EXPECT_EQ(Connections(*keyboard, "Velomorph:out"), Names{keyboard->inputPort()});
        EXPECT_EQ(RoundTrip(*pads, *keyboard, {0x90, 60, 100}), (Bytes{0x90, 60, table[100]}));
        EXPECT_TRUE(program.quit()) << program.output();
    }
    EXPECT_EQ(TAppSettings().LastInput().toStdString(), pads->outputPort());
    EXPECT_EQ(TAppSettings().LastOutput().toStdString(), samplerInput);

    // Back for the second start: both remembered devices open, the curve is the file's.
    sampler = std::make_unique<JackProbe>("sampler");
    keyboard->clearEvents();
    {
        ProgramProcess program(ConfigHome());
        ASSERT_TRUE(sampler->waitForEvents(2, 20s)) << "no test note\n" << program.output();
        EXPECT_EQ(Connections(*keyboard, "Velomorph:in"), Names{pads->outputPort()});
        EXPECT_EQ(Connections(*keyboard, "Velomorph:out"), Names{sampler->inputPort()});
        for (const std::uint8_t velocity : {30, 64, 100, 127}) {
            EXPECT_EQ(RoundTrip(*pads, *sampler, {0x90, 60, velocity}), (Bytes{0x90, 60, table[velocity]}))
                << "velocity " << int{velocity};
        }
        EXPECT_FALSE(keyboard->waitForEvents(1, 0ms));
        EXPECT_TRUE(program.quit()) << program.output();
    }
}

TEST_F(ProgramSettingsOnJack, NotesOnlyInTheSettingsFileIsInForceFromTheStart)
{
    QDir(files.path()).mkpath("Velomorph");
    {
        QFile settings(files.filePath("Velomorph/Velomorph.conf"));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write("[MIDI]\nNotesOnly=true\n");
    }
    JackProbe keyboard("keyboard");
    ProgramProcess program(files.path());
    ASSERT_TRUE(keyboard.waitForEvents(2, 20s)) << "no test note\n" << program.output();
    const TTransferTable t = BuildTransferTable(DefaultCurvePoints);
    struct Case {
        const char* name;
        Bytes in;
        Bytes out;
    };
    const Case cases[] = {
        {"note on", {0x90, 60, 100}, {0x90, 60, t[100]}},
        {"note on, velocity 1", {0x90, 60, 1}, {0x90, 60, 1}},
        {"note on, velocity 2", {0x90, 60, 2}, {0x90, 60, 1}},
        {"note off", {0x80, 60, 64}, {0x80, 60, t[64]}},
        {"key pressure", {0xA0, 60, 52}, {0xA0, 60, t[52]}},
        {"control change", {0xB0, 11, 64}, {0xB0, 11, 64}},
        {"pitch bend at rest", {0xE0, 0x00, 0x40}, {0xE0, 0x00, 0x40}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RoundTrip(keyboard, keyboard, c.in), c.out) << c.name;
    EXPECT_TRUE(program.quit()) << program.output();
}

} // namespace
