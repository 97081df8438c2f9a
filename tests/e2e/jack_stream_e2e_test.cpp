// SPDX-License-Identifier: GPL-3.0-or-later
// The program's JACK stream as a receiver reads it, with the program running
// headless as a process of its own on the private server: events that hold
// several messages are split and each one mapped and counted; a burst that
// fills the output port's buffer is carried over without the receiver being
// told of lost events; the test note never lands inside a routed
// system-exclusive message, and one that never ends does not hold it back.
#include "child_process.h"
#include "curve/curve_file.h"
#include "curve/transfer_table.h"
#include "jack_probe.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// Generous limits: a loaded machine, a sanitizer build.
constexpr auto StartLimit = 30s; // from the start to the test note
constexpr auto EventLimit = 10s; // for what the probe waits for once the program runs

constexpr std::string_view Curve = "[Points]\nCount=2\nPt01a=20\nPt01b=70\nPt02a=60\nPt02b=99\nPt09b=127\n";

// The probe's client name, which the program is told to connect both ways.
constexpr const char* ProbeName = "stream";

// The program with --headless on the probe's ports, the curve file in its
// own folder, printing its counts each second; what it prints goes to a
// file of the test's. It dies with the test.
class HeadlessProgram {
public:
    HeadlessProgram()
    {
        {
            std::ofstream curve(CurvePath(), std::ios::binary);
            curve << Curve;
        }
        program_.setWorkingDirectory(folder_.path().toStdString());
        program_.start(VELOMORPH_EXECUTABLE,
                       {"--headless", "--curve", "curve.dat", "--input", ProbeName, "--output", ProbeName, "--verbose"},
                       {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                        "XDG_CONFIG_HOME=" + folder_.filePath("config").toStdString(),
                        "XDG_RUNTIME_DIR=" + folder_.path().toStdString()},
                       ChildProcess::Output::FileWithErrors, folder_.filePath("output.txt").toStdString());
    }

    std::string CurvePath() const { return folder_.filePath("curve.dat").toStdString(); }

    std::string Output() const
    {
        std::ifstream in(folder_.filePath("output.txt").toStdString(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // Waits until `part` has been printed; false after the limit.
    bool WaitForOutput(std::string_view part)
    {
        const auto deadline = std::chrono::steady_clock::now() + EventLimit;
        while (Output().find(part) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline || !program_.running())
                return Output().find(part) != std::string::npos;
            std::this_thread::sleep_for(10ms);
        }
        return true;
    }

    bool Stop() { return program_.stop(10); }

private:
    QTemporaryDir folder_;
    ChildProcess program_;
};

bool IsTestNote(const Bytes& bytes)
{
    return bytes.size() == 3 && (bytes[0] == 0x90 || bytes[0] == 0x80) && bytes[1] == 0x3F;
}

// Waits for the test note (Note On and Note Off) among what the probe received.
bool WaitForTestNote(JackProbe& probe, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        probe.collect();
        std::size_t notes = 0;
        for (const JackProbe::Event& event : probe.events())
            notes += IsTestNote(event.bytes) ? 1 : 0;
        if (notes >= 2)
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(10ms);
    }
}

// The Note On that leaves for velocity `in`: a played note never silenced.
Bytes MappedNoteOn(const TTransferTable& table, std::uint8_t key, std::uint8_t in)
{
    const std::uint8_t out = in > 0 && table[in] == 0 ? 1 : table[in];
    return {0x90, key, out};
}

class JackStream : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(WaitForTestNote(probe, StartLimit)) << "no test note\n" << program.Output();
        probe.clearEvents();
    }

    void TearDown() override { EXPECT_TRUE(program.Stop()) << program.Output(); }

    JackProbe probe{ProbeName};
    HeadlessProgram program; // goes before the probe
};

TEST_F(JackStream, EventsHoldingSeveralMessagesAreSplitMappedAndCounted)
{
    const TTransferTable table = BuildTransferTable(ReadCurvePoints(program.CurvePath()));
    probe.send({0x90, 0x3C, 0x64, 0x3E, 0x50});       // running status
    probe.send({0x90, 0x3C, 0x64, 0x80, 0x3C, 0x00}); // two messages
    ASSERT_TRUE(probe.waitForEvents(4, EventLimit)) << program.Output();
    std::vector<Bytes> received;
    for (const JackProbe::Event& event : probe.events())
        received.push_back(event.bytes);
    const std::vector<Bytes> expected{MappedNoteOn(table, 0x3C, 0x64), MappedNoteOn(table, 0x3E, 0x50),
                                      MappedNoteOn(table, 0x3C, 0x64), {0x80, 0x3C, table[0]}};
    EXPECT_EQ(received, expected);
    // The test note's two messages were sent too.
    EXPECT_TRUE(program.WaitForOutput("reçus 4, envoyés 6, perdus 0")) << program.Output();
    EXPECT_EQ(probe.lostEvents(), 0u);
}

TEST_F(JackStream, ABurstCarriedOverComesBackWholeWithNoEventReportedLost)
{
    // One event of 3,000 notes by running status: 6,001 bytes in, but 3,000
    // events out, more than the output port's buffer takes in one cycle.
    const TTransferTable table = BuildTransferTable(ReadCurvePoints(program.CurvePath()));
    constexpr std::size_t Notes = 3000;
    Bytes burst{0x90};
    std::vector<Bytes> expected;
    for (std::size_t i = 0; i < Notes; ++i) {
        const auto key = static_cast<std::uint8_t>(i % 128);
        const auto velocity = static_cast<std::uint8_t>(1 + i % 127);
        burst.push_back(key);
        burst.push_back(velocity);
        expected.push_back(MappedNoteOn(table, key, velocity));
    }
    probe.send(burst);
    ASSERT_TRUE(probe.waitForEvents(Notes, EventLimit))
        << probe.events().size() << " of " << Notes << " back\n" << program.Output();
    std::vector<Bytes> received;
    for (const JackProbe::Event& event : probe.events())
        received.push_back(event.bytes);
    EXPECT_EQ(received, expected);
    EXPECT_GT(probe.events().back().frame, probe.events().front().frame) << "the burst was never carried over";
    EXPECT_EQ(probe.lostEvents(), 0u);
}

// The routed system-exclusive messages in what `events` holds: "" when no
// test note comes between a start and its end, else where one does.
std::string TestNotesInsideSysex(const std::vector<JackProbe::Event>& events)
{
    std::ostringstream inside;
    bool open = false;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const Bytes& bytes = events[i].bytes;
        if (bytes.front() == 0xF0)
            open = true;
        if (IsTestNote(bytes) && open)
            inside << "event " << i << " (" << int(bytes[0]) << ") inside a system-exclusive message\n";
        if (bytes.back() == 0xF7)
            open = false;
    }
    return inside.str();
}

// A second of routed system-exclusive messages, each in pieces one cycle
// apart for about 50 ms: the start, continuations, the end, a cycle's gap.
std::vector<JackProbe::Timed> SysexSecond(const JackProbe& probe)
{
    const double period = probe.periodFrames();
    const auto continuations = static_cast<std::size_t>(probe.sampleRate() / 20 / period);
    std::vector<JackProbe::Timed> run;
    double at = 0;
    while (at < probe.sampleRate()) {
        run.push_back({at, {0xF0, 0x7D, 0x01}});
        for (std::size_t k = 0; k < continuations; ++k)
            run.push_back({at += period, {0x02, 0x03, 0x04}});
        run.push_back({at += period, {0x05, 0x06, 0xF7}});
        at += 2 * period;
    }
    return run;
}

TEST(JackStreamStart, TheTestNoteNeverLandsInsideARoutedSystemExclusiveMessage)
{
    JackProbe probe{ProbeName};
    // Sysex messages in pieces from before the program starts until its test
    // note is back, so that the note is sent while one is open.
    probe.startRun(SysexSecond(probe));
    HeadlessProgram program;
    const auto deadline = std::chrono::steady_clock::now() + StartLimit;
    while (!WaitForTestNote(probe, 0ms) && std::chrono::steady_clock::now() < deadline)
        probe.startRun(SysexSecond(probe));
    ASSERT_TRUE(WaitForTestNote(probe, 0ms)) << "no test note\n" << program.Output();
    probe.startRun({}); // waits for the run under way to end
    probe.waitForEvents(0, 500ms);
    EXPECT_EQ(TestNotesInsideSysex(probe.events()), "");
    EXPECT_EQ(probe.lostEvents(), 0u);
    EXPECT_TRUE(program.Stop()) << program.Output();
}

TEST(JackStreamStart, ASystemExclusiveMessageThatNeverEndsDoesNotHoldTheTestNoteBack)
{
    JackProbe probe{ProbeName};
    // A start each cycle, never an end: from the program's first cycle on,
    // its routed stream stands inside a system-exclusive message.
    std::vector<JackProbe::Timed> starts;
    for (double at = 0; at < probe.sampleRate(); at += probe.periodFrames())
        starts.push_back({at, {0xF0, 0x7D, 0x01}});
    probe.startRun(starts);
    HeadlessProgram program;
    const auto deadline = std::chrono::steady_clock::now() + StartLimit;
    while (!WaitForTestNote(probe, 0ms) && std::chrono::steady_clock::now() < deadline)
        probe.startRun(starts);
    EXPECT_TRUE(WaitForTestNote(probe, 0ms)) << "no test note\n" << program.Output();
    EXPECT_TRUE(program.Stop()) << program.Output();
}

} // namespace
