// SPDX-License-Identifier: GPL-3.0-or-later
// The program without a window (--headless), as a process of its own on the
// private JACK server, with neither a display nor a Qt platform plugin: the
// test note, every velocity through a curve file, the curve read again when
// its file changes and on SIGHUP, devices named on the command line that
// come later, the exit codes of what it refuses, and its end on SIGTERM and
// SIGINT. The README's example is run exactly as the README writes it.
#include "child_process.h"
#include "curve/curve_file.h"
#include "curve/transfer_table.h"
#include "jack_probe.h"
#include "platform/ini_file.h"
#include "wait_until.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// Generous limits: a loaded machine, a sanitizer build.
constexpr auto StartLimit = 30s;   // from the start to the test note, or to a line of the start
constexpr auto EventLimit = 10s;   // for what the probe waits for once the program runs
constexpr auto LineLimit = 10s;    // for a line on stderr
constexpr double EndLimitSeconds = 10; // for the program's end

constexpr std::string_view KeptCurve = "la courbe précédente reste en place";
constexpr std::string_view Reloaded = "velomorph : courbe relue : ";

// Curve files of one size, so that a file can be rewritten in place in one
// write, without a moment where it is empty or half written.
constexpr std::string_view SoftCurve = // its foot maps 1 to 3 to 0: those notes leave at 1
    "[Points]\nCount=2\nPt01a=40\nPt01b=10\nPt02a=90\nPt02b=60\nPt09b=127\n";
constexpr std::string_view HardCurve = "[Points]\nCount=2\nPt01a=20\nPt01b=70\nPt02a=60\nPt02b=99\nPt09b=127\n";
constexpr std::string_view FlatCurve = "[Points]\nCount=2\nPt01a=30\nPt01b=50\nPt02a=90\nPt02b=70\nPt09b=100\n";
// SoftCurve with one value changed.
constexpr std::string_view SofterCurve = "[Points]\nCount=2\nPt01a=40\nPt01b=10\nPt02a=90\nPt02b=45\nPt09b=127\n";
static_assert(SoftCurve.size() == HardCurve.size() && SoftCurve.size() == FlatCurve.size()
              && SoftCurve.size() == SofterCurve.size());

// Writes `text` over the file's bytes in one write: the same file, changed in place.
void WriteInPlace(const std::string& path, std::string_view text)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    EXPECT_EQ(::pwrite(fd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
    EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(text.size())), 0);
    ::close(fd);
}

// Writes `text` to a file beside `path`, then renames it over `path`, as
// editors and copying tools save.
void ReplaceByRename(const std::string& path, std::string_view text)
{
    const std::string next = path + ".new";
    {
        std::ofstream out(next, std::ios::binary | std::ios::trunc);
        out << text;
        ASSERT_TRUE(out.flush()) << next;
    }
    std::filesystem::rename(next, path);
}

// What comes out for a Note On of each velocity, by the file's table: a
// played note never leaves silenced.
std::vector<Bytes> ExpectedSweep(const std::string& curveFile)
{
    const TTransferTable table = BuildTransferTable(ReadCurvePoints(curveFile));
    std::vector<Bytes> expected;
    for (int v = 0; v < 128; ++v)
        expected.push_back({0x90, 0x3C, static_cast<std::uint8_t>(v > 0 && table[v] == 0 ? 1 : table[v])});
    return expected;
}

// Plays a Note On of every velocity from `keyboard` and returns what `synth`
// received; "" when it is what the curve file asks for, else what differs.
std::string SweepDifferences(JackProbe& keyboard, JackProbe& synth, const std::string& curveFile)
{
    synth.clearEvents();
    for (int v = 0; v < 128; ++v)
        keyboard.send({0x90, 0x3C, static_cast<std::uint8_t>(v)});
    if (!synth.waitForEvents(128, EventLimit))
        return std::to_string(synth.events().size()) + " of 128 notes came back";
    const std::vector<Bytes> expected = ExpectedSweep(curveFile);
    std::ostringstream differences;
    for (int v = 0; v < 128; ++v) {
        const Bytes& got = synth.events()[v].bytes;
        if (got != expected[v]) {
            differences << "velocity " << v << ": expected " << int(expected[v][2]) << ", got";
            for (const std::uint8_t byte : got)
                differences << ' ' << int(byte);
            differences << '\n';
        }
    }
    if (synth.events().size() > 128)
        differences << synth.events().size() - 128 << " messages more than were sent\n";
    return differences.str();
}

std::size_t Occurrences(const std::string& text, std::string_view part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

// The program with --headless, in a folder of its own (where its relative
// paths lead), without DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM. What it
// prints goes to a file of the test's, never read by the program's folder
// watch. It dies with the test.
class HeadlessProgram {
public:
    HeadlessProgram(const std::string& folder, const std::vector<std::string>& args,
                    const std::vector<std::string>& environment = {})
    {
        std::vector<std::string> env{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                                     "XDG_CONFIG_HOME=" + private_.filePath("config").toStdString(),
                                     "XDG_RUNTIME_DIR=" + private_.path().toStdString()};
        env.insert(env.end(), environment.begin(), environment.end());
        program_.setWorkingDirectory(folder);
        program_.start(VELOMORPH_EXECUTABLE, args, env, ChildProcess::Output::FileWithErrors, outputPath());
    }

    HeadlessProgram(const HeadlessProgram&) = delete;
    HeadlessProgram& operator=(const HeadlessProgram&) = delete;

    // Everything it printed so far (it prints on stderr only).
    std::string output() const
    {
        std::ifstream in(outputPath(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // Waits until what it printed satisfies `done`; false after the limit,
    // or once it has ended without.
    bool waitUntilOutput(const std::function<bool(const std::string& output)>& done,
                         std::chrono::milliseconds limit = LineLimit)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done(output())) {
            if (!program_.running())
                return done(output());
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(10ms);
        }
        return true;
    }

    // Waits until `part` has been printed `count` times; false after the limit.
    bool waitForOutput(std::string_view part, std::size_t count = 1, std::chrono::milliseconds limit = LineLimit)
    {
        return waitUntilOutput([&](const std::string& output) { return Occurrences(output, part) >= count; }, limit);
    }

    bool running() { return program_.running(); }
    bool signal(int number) { return program_.signal(number); }
    // Its threads, as the system counts them.
    std::size_t threads() const
    {
        const std::string tasks = "/proc/" + std::to_string(program_.pid()) + "/task";
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(tasks),
                                                      std::filesystem::directory_iterator()));
    }

    // Waits for its end: its exit code; none when it still runs after the
    // limit (it is then killed) or when a signal ended it.
    std::optional<int> exitCode()
    {
        if (!program_.wait(EndLimitSeconds) && program_.running()) {
            program_.kill();
            return std::nullopt;
        }
        return program_.exitCode();
    }

private:
    std::string outputPath() const { return private_.filePath("output.txt").toStdString(); }

    QTemporaryDir private_;
    ChildProcess program_;
};

// The start of every program that gets its devices: the test note, at the
// probe that stands for the synth.
void ExpectTestNote(JackProbe& synth, HeadlessProgram& program)
{
    ASSERT_TRUE(synth.waitForEvents(2, StartLimit)) << "no test note\n" << program.output();
    EXPECT_EQ(synth.events()[0].bytes, (Bytes{0x90, 0x3F, 0x64}));
    EXPECT_EQ(synth.events()[1].bytes, (Bytes{0x80, 0x3F, 0x64}));
    synth.clearEvents();
}

// Whether a client of the program's (named `clientName`, or so beginning)
// joined the server since `watcher` opened. A client that joins after the
// program has ended is announced after every client before it.
bool ProgramJoined(JackProbe& watcher, const std::string& clientName)
{
    const JackProbe marker("marker");
    EXPECT_TRUE(watcher.waitForClientJoined("marker", EventLimit));
    const std::vector<std::string> joined = watcher.clientsJoined();
    return std::any_of(joined.begin(), joined.end(),
                       [&](const std::string& name) { return name.rfind(clientName, 0) == 0; });
}

bool HasPortsOf(const JackProbe& probe, const std::string& clientName)
{
    const std::vector<std::string> ports = probe.allPorts();
    return std::any_of(ports.begin(), ports.end(),
                       [&](const std::string& port) { return port.rfind(clientName + ":", 0) == 0; });
}

class Headless : public ::testing::Test {
protected:
    std::string Folder() const { return folder.path().toStdString(); }
    std::string PathOf(const char* name) const { return folder.filePath(QString::fromUtf8(name)).toStdString(); }
    // The soft curve in curve.dat, and in kept.dat for the table expected
    // while the program keeps it; kept.dat's path.
    std::string WriteSoftCurves() const
    {
        WriteInPlace(PathOf("curve.dat"), SoftCurve);
        WriteInPlace(PathOf("kept.dat"), SoftCurve);
        return PathOf("kept.dat");
    }

    QTemporaryDir folder; // the curve files, and the program's working directory
};

TEST_F(Headless, RunsWithoutADisplayPlaysTheTestNoteAndMapsEveryVelocityThroughTheCurveFile)
{
    JackProbe keyboard("keyboard");
    WriteInPlace(PathOf("soft.dat"), SoftCurve);
    HeadlessProgram program(Folder(), {"--headless", "--curve", "soft.dat", "--input", "keyboard", "--output", "keyboard"});
    ASSERT_NO_FATAL_FAILURE(ExpectTestNote(keyboard, program));
    EXPECT_EQ(SweepDifferences(keyboard, keyboard, PathOf("soft.dat")), "");
    EXPECT_TRUE(program.signal(SIGTERM));
    ASSERT_EQ(program.exitCode(), 0) << program.output();

    // With --notes-only, only the note messages go through the curve.
    keyboard.clearEvents();
    WriteInPlace(PathOf("hard.dat"), HardCurve);
    HeadlessProgram notesOnly(Folder(), {"--headless", "--curve", "hard.dat", "--notes-only", "--input", "keyboard", "--output", "keyboard"});
    ASSERT_NO_FATAL_FAILURE(ExpectTestNote(keyboard, notesOnly));
    const TTransferTable table = BuildTransferTable(ReadCurvePoints(PathOf("hard.dat")));
    keyboard.send({0xB0, 7, 30});
    keyboard.send({0x80, 0x3C, 30});
    ASSERT_TRUE(keyboard.waitForEvents(2, EventLimit)) << notesOnly.output();
    EXPECT_EQ(keyboard.events()[0].bytes, (Bytes{0xB0, 7, 30}));
    EXPECT_EQ(keyboard.events()[1].bytes, (Bytes{0x80, 0x3C, table[30]}));
}

TEST_F(Headless, TheReadmeExampleRunsAsWritten)
{
    // The README's example: the first line that starts so.
    std::ifstream readme(VELOMORPH_README);
    ASSERT_TRUE(readme) << VELOMORPH_README;
    std::string example;
    for (std::string line; example.empty() && std::getline(readme, line);) {
        if (line.rfind("velomorph --headless ", 0) == 0)
            example = line;
    }
    ASSERT_FALSE(example.empty()) << "no line of README.md starts with \"velomorph --headless \"";
    std::istringstream words(example);
    std::vector<std::string> args{std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
    args.erase(args.begin()); // the program, run from the build tree
    SCOPED_TRACE(example);

    // Its devices and its curve file, as it names them.
    const auto curve = std::find(args.begin(), args.end(), "--curve");
    ASSERT_TRUE(curve != args.end() && curve + 1 != args.end());
    const std::string curveFile = PathOf(curve[1].c_str());
    WriteInPlace(curveFile, HardCurve);
    JackProbe keyboard("keyboard");
    JackProbe synth("synth");

    HeadlessProgram program(Folder(), args);
    ASSERT_NO_FATAL_FAILURE(ExpectTestNote(synth, program));
    EXPECT_TRUE(keyboard.waitForOutputConnected(EventLimit));
    EXPECT_EQ(SweepDifferences(keyboard, synth, curveFile), "");
    // --verbose: the counts, the test note among what was sent, and the sweep's last note.
    const TTransferTable table = BuildTransferTable(ReadCurvePoints(curveFile));
    const std::string counts = "velomorph : reçus 128, envoyés 130, perdus 0, dernier In = 127 -> Out = "
                               + std::to_string(table[127]) + "\n";
    EXPECT_TRUE(program.waitForOutput(counts)) << program.output();
    EXPECT_TRUE(program.signal(SIGTERM));
    EXPECT_EQ(program.exitCode(), 0) << program.output();
}

TEST_F(Headless, ReadsTheCurveAgainWhenItsFileChangesAndOnSighup)
{
    JackProbe keyboard("keyboard");
    const std::string curve = PathOf("curve.dat");
    WriteInPlace(curve, SoftCurve);
    HeadlessProgram program(Folder(), {"--headless", "--curve", "curve.dat", "--input", "keyboard", "--output",
                                       "keyboard"});
    ASSERT_NO_FATAL_FAILURE(ExpectTestNote(keyboard, program));
    EXPECT_EQ(SweepDifferences(keyboard, keyboard, curve), "") << "at start";

    std::size_t reloads = 0;
    const auto expectReloaded = [&](const char* how) {
        SCOPED_TRACE(how);
        ASSERT_TRUE(program.waitForOutput(std::string(Reloaded) + "curve.dat\n", ++reloads)) << program.output();
        EXPECT_EQ(SweepDifferences(keyboard, keyboard, curve), "");
    };

    WriteInPlace(curve, HardCurve);
    expectReloaded("written in place");
    ReplaceByRename(curve, FlatCurve);
    expectReloaded("replaced by rename");
    // The new file is watched in its turn.
    WriteInPlace(curve, SoftCurve);
    expectReloaded("the new file written in place");

    EXPECT_TRUE(program.signal(SIGHUP));
    expectReloaded("SIGHUP, file unchanged");
    // A copy that keeps size and time stamp, as `rsync -t` or `cp -p` make:
    // SIGHUP reads it whatever the watch made of it.
    const auto stamp = std::filesystem::last_write_time(curve);
    const std::string next = curve + ".new";
    WriteInPlace(next, SofterCurve);
    std::filesystem::last_write_time(next, stamp);
    std::filesystem::rename(next, curve);
    EXPECT_TRUE(program.signal(SIGHUP));
    ASSERT_TRUE(program.waitForOutput(std::string(Reloaded) + "curve.dat\n", ++reloads)) << program.output();
    EXPECT_EQ(SweepDifferences(keyboard, keyboard, curve), "") << "SIGHUP after a copy that kept size and time";

    EXPECT_EQ(Occurrences(program.output(), KeptCurve), 0u) << program.output();
    EXPECT_TRUE(program.signal(SIGTERM));
    EXPECT_EQ(program.exitCode(), 0) << program.output();
}

TEST_F(Headless, KeepsTheCurveWhenItsFileNoLongerLoadsAndSaysSo)
{
    JackProbe keyboard("keyboard");
    const std::string curve = PathOf("curve.dat");
    WriteInPlace(curve, HardCurve);
    const std::string kept = PathOf("kept.dat"); // the curve in force, for the expected table
    WriteInPlace(kept, HardCurve);
    HeadlessProgram program(Folder(), {"--headless", "--curve", "curve.dat", "--input", "keyboard", "--output", "keyboard"});
    ASSERT_NO_FATAL_FAILURE(ExpectTestNote(keyboard, program));

    // One fault after the other, each leaving the curve of the start in force.
    struct Fault {
        const char* name;
        std::function<void()> make;
        std::string line; // on stderr
    };
    const Fault faults[] = {
        {"larger than the reader takes",
         [&] { ReplaceByRename(curve, std::string(TIniFile::MaxFileSize + 1, ';')); },
         "velomorph : Impossible de lire curve.dat : le fichier dépasse 1 Mo ; " + std::string(KeptCurve) + "\n"},
        {"removed",
         [&] { std::filesystem::remove(curve); },
         "velomorph : Impossible de lire curve.dat : fichier introuvable ; " + std::string(KeptCurve) + "\n"},
        {"a folder in its place",
         [&] { std::filesystem::create_directory(curve); },
         "velomorph : Impossible de lire curve.dat ; " + std::string(KeptCurve) + "\n"},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        fault.make();
        ASSERT_TRUE(program.waitForOutput(fault.line)) << program.output();
        EXPECT_EQ(SweepDifferences(keyboard, keyboard, kept), "");
    }
    // A good file again: read at once.
    std::filesystem::remove(curve);
    ReplaceByRename(curve, SoftCurve);
    ASSERT_TRUE(program.waitForOutput(std::string(Reloaded) + "curve.dat\n")) << program.output();
    EXPECT_EQ(SweepDifferences(keyboard, keyboard, curve), "");

    EXPECT_TRUE(program.signal(SIGTERM));
    EXPECT_EQ(program.exitCode(), 0) << program.output();
}

// An editor that stops in the middle of writing the file: what stands on
// disk meanwhile lacks keys, and the curve in force holds, said once, until
// the file holds a whole curve again.
TEST_F(Headless, AppliesOnlyAWholeCurve)
{
    JackProbe keyboard("keyboard");
    const std::string curve = PathOf("curve.dat");
    const std::string kept = WriteSoftCurves();
    HeadlessProgram program(Folder(), {"--headless", "--curve", "curve.dat", "--input", "keyboard", "--output", "keyboard"});
    ASSERT_NO_FATAL_FAILURE(ExpectTestNote(keyboard, program));

    const std::string_view whole = HardCurve;
    const std::size_t half = whole.find("Pt02a");
    const std::string refused
        = "velomorph : Courbe incomplète dans curve.dat : Pt02a manque ; " + std::string(KeptCurve) + "\n";
    {
        std::ofstream out(curve, std::ios::binary | std::ios::trunc);
        out << whole.substr(0, half);
    }
    ASSERT_TRUE(program.waitForOutput(refused)) << program.output();
    // The pause goes on; a second look at the same half says nothing more.
    EXPECT_TRUE(program.signal(SIGHUP));
    EXPECT_EQ(SweepDifferences(keyboard, keyboard, kept), "");
    // Cut short inside a value: the last key is there but holds nothing.
    WriteInPlace(curve, std::string(whole.substr(0, whole.find("127"))));
    const std::string cut
        = "velomorph : Courbe incomplète dans curve.dat : Pt09b manque ; " + std::string(KeptCurve) + "\n";
    ASSERT_TRUE(program.waitForOutput(cut)) << program.output();
    EXPECT_EQ(SweepDifferences(keyboard, keyboard, kept), "");
    EXPECT_EQ(Occurrences(program.output(), refused), 1u) << program.output();

    WriteInPlace(curve, whole);
    ASSERT_TRUE(program.waitForOutput(std::string(Reloaded) + "curve.dat\n")) << program.output();
    EXPECT_EQ(SweepDifferences(keyboard, keyboard, curve), "");
    EXPECT_TRUE(program.signal(SIGTERM));
    EXPECT_EQ(program.exitCode(), 0) << program.output();
}

// Anyone who may read the curve file may lock it: the program then keeps its
// curve and says why, waits for nobody, and leaves no thread behind; once
// the lock is gone the next SIGHUP reads the file.
TEST_F(Headless, AReaderHoldingALockBlocksNothing)
{
    JackProbe keyboard("keyboard");
    const std::string curve = PathOf("curve.dat");
    const std::string kept = WriteSoftCurves();
    HeadlessProgram program(Folder(), {"--headless", "--curve", "curve.dat", "--input", "keyboard", "--output", "keyboard"});
    ASSERT_NO_FATAL_FAILURE(ExpectTestNote(keyboard, program));
    const std::size_t threads = program.threads();

    const int holder = ::open(curve.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    WriteInPlace(curve, HardCurve);
    const std::string locked = "velomorph : Impossible de lire curve.dat : verrouillé par un autre programme ; "
                               + std::string(KeptCurve) + "\n";
    ASSERT_TRUE(program.waitForOutput(locked)) << program.output();
    for (int i = 0; i < 15; ++i)
        EXPECT_TRUE(program.signal(SIGHUP));
    // The sweep goes through while the reloads are tried: nothing waits.
    EXPECT_EQ(SweepDifferences(keyboard, keyboard, kept), "");
    EXPECT_EQ(program.threads(), threads);
    EXPECT_EQ(Occurrences(program.output(), locked), 1u) << program.output();

    ::close(holder);
    EXPECT_TRUE(program.signal(SIGHUP));
    ASSERT_TRUE(program.waitForOutput(std::string(Reloaded) + "curve.dat\n")) << program.output();
    EXPECT_EQ(SweepDifferences(keyboard, keyboard, curve), "");
    EXPECT_TRUE(program.signal(SIGTERM));
    EXPECT_EQ(program.exitCode(), 0) << program.output();
}

struct LateCase {
    const char* name;
    const char* input;
    const char* output;
};

void PrintTo(const LateCase& c, std::ostream* out)
{
    *out << c.name;
}

class HeadlessLateDevice : public Headless, public ::testing::WithParamInterface<LateCase> {};

// Devices named on the command line that are not there yet: each absence is
// told once, and the devices are connected when they appear.
TEST_P(HeadlessLateDevice, WaitsForTheDeviceAndConnectsItWhenItAppears)
{
    const LateCase& c = GetParam();
    const std::string curve = PathOf("curve.dat");
    WriteInPlace(curve, SoftCurve);
    // Without the test note, which would reach a device that comes during the start.
    HeadlessProgram program(Folder(), {"--headless", "--curve", "curve.dat", "--no-test-note", "--input", c.input,
                                       "--output", c.output});
    const std::string inputAbsent = std::string("velomorph : entrée « ") + c.input
                                    + " » absente ; elle sera ouverte dès qu'elle apparaîtra\n";
    const std::string outputAbsent = std::string("velomorph : sortie « ") + c.output
                                     + " » absente ; elle sera ouverte dès qu'elle apparaîtra\n";
    ASSERT_TRUE(program.waitForOutput(inputAbsent, 1, StartLimit)) << program.output();
    ASSERT_TRUE(program.waitForOutput(outputAbsent, 1, StartLimit)) << program.output();

    // Another device comes first: the program goes on waiting for its own.
    const JackProbe bystander("bystander");
    const JackProbe other("Late"); // holds a part of the wanted names, but not all of it
    JackProbe latecomer("Latecomer");
    ASSERT_TRUE(latecomer.waitForOutputConnected(EventLimit)) << program.output();
    ASSERT_TRUE(latecomer.waitForInputConnected(EventLimit)) << program.output();
    // Each port's new state, once it has held a moment, with the device's full name.
    EXPECT_TRUE(program.waitForOutput("velomorph : Port MidiIn ouvert (« Latecomer:out »)\n")) << program.output();
    EXPECT_TRUE(program.waitForOutput("velomorph : Port MidiOut ouvert (« Latecomer:in »)\n")) << program.output();
    EXPECT_EQ(SweepDifferences(latecomer, latecomer, curve), "");
    EXPECT_FALSE(bystander.connected());
    EXPECT_FALSE(other.connected());
    EXPECT_EQ(Occurrences(program.output(), inputAbsent), 1u) << program.output();
    EXPECT_EQ(Occurrences(program.output(), outputAbsent), 1u) << program.output();

    EXPECT_TRUE(program.signal(SIGTERM));
    EXPECT_EQ(program.exitCode(), 0) << program.output();
}

INSTANTIATE_TEST_SUITE_P(Names, HeadlessLateDevice,
                         ::testing::Values(LateCase{"exact_port_names", "Latecomer:out", "Latecomer:in"},
                                           LateCase{"parts_in_another_case", "LATECOMER", "latecomer:IN"}));

// A device with one port, which goes away and comes back: the program says
// it is disconnected, then connects it again by itself.
TEST_F(Headless, ADeviceOfOnePortThatGoesAndComesBackIsConnectedAgain)
{
    WriteInPlace(PathOf("curve.dat"), SoftCurve);
    JackProbe synth("synth");
    // A sequencer with an output port only, playing a note every half second.
    const auto startSequencer = [](ChildProcess& sequencer) {
        sequencer.start("jack_midiseq", {"sequencer", "24000", "0", "60", "8000"}, {},
                        ChildProcess::Output::Discarded);
    };
    // The sequencer comes once the output is open: notes arriving while the
    // output opens would end the input's opening, as they do in the window.
    HeadlessProgram program(Folder(), {"--headless", "--curve", "curve.dat", "--input", "sequencer:out", "--output",
                                       "synth:in"});
    ExpectTestNote(synth, program);
    ChildProcess sequencer;
    startSequencer(sequencer);
    ASSERT_TRUE(program.waitForOutput("velomorph : Port MidiIn ouvert (« sequencer:out »)\n", 1, StartLimit))
        << program.output();
    ASSERT_TRUE(synth.waitForEvents(4, StartLimit)) << "the sequencer's notes do not come through";

    // Killed, its client is only taken off the server once the server gives
    // up waiting for it.
    sequencer.kill();
    ASSERT_TRUE(program.waitForOutput("velomorph : Port MidiIn déconnecté (« sequencer:out »)\n", 2, StartLimit))
        << program.output();

    startSequencer(sequencer);
    ASSERT_TRUE(program.waitForOutput("velomorph : Port MidiIn ouvert (« sequencer:out »)\n", 2)) << program.output();
    synth.collect();
    const std::size_t before = synth.events().size();
    EXPECT_TRUE(synth.waitForEvents(before + 2, EventLimit)) << "nothing comes through after the reconnection";

    EXPECT_TRUE(program.signal(SIGTERM));
    EXPECT_EQ(program.exitCode(), 0) << program.output();
}

// An input and nothing connected to the output: what arrives leaves our own
// port, which nobody reads. Nothing is reported and the program runs on.
TEST_F(Headless, RunsOnWithNothingConnectedToItsOutput)
{
    WriteInPlace(PathOf("curve.dat"), SoftCurve);
    // A sequencer with an output port only, playing a note every half second.
    ChildProcess sequencer;
    sequencer.start("jack_midiseq", {"sequencer", "24000", "0", "60", "8000"}, {}, ChildProcess::Output::Discarded);
    {
        // Gone before the program starts: its own ports would be devices.
        const JackProbe lookout("lookout");
        ASSERT_TRUE(WaitUntil(
            [&] {
                const std::vector<std::string> ports = lookout.allPorts();
                return std::find(ports.begin(), ports.end(), "sequencer:out") != ports.end();
            },
            StartLimit))
            << "the sequencer did not come";
    }
    HeadlessProgram program(Folder(), {"--headless", "--curve", "curve.dat", "--verbose", "--input", "sequencer"});
    // --verbose: the counts of messages received and sent pass 4.
    const auto most = [](const std::string& output, const std::string& label) {
        std::size_t found = 0;
        for (std::size_t at = output.find(label); at != std::string::npos; at = output.find(label, at + 1))
            found = std::max<std::size_t>(found, std::strtoul(output.c_str() + at + label.size(), nullptr, 10));
        return found;
    };
    EXPECT_TRUE(program.waitUntilOutput(
        [&](const std::string& output) { return most(output, "reçus ") >= 4 && most(output, "envoyés ") >= 4; },
        StartLimit))
        << program.output();
    EXPECT_TRUE(program.signal(SIGTERM));
    EXPECT_EQ(program.exitCode(), 0) << program.output();
    EXPECT_EQ(Occurrences(program.output(), "velomorph : Port MidiOut : aucun appareil\n"), 1u) << program.output();
    EXPECT_EQ(program.output().find("not open"), std::string::npos) << program.output();
}

// Without --input and --output the ports take no device: they wait for
// connections made in the graph, say so once, and carry whatever is
// connected by hand, from several sources at once; --no-test-note keeps
// the start silent.
TEST_F(Headless, WithoutNamesCarriesWhatTheGraphConnects)
{
    WriteInPlace(PathOf("curve.dat"), HardCurve);
    JackProbe keyboard("keyboard");
    JackProbe pads("pads");
    HeadlessProgram program(Folder(), {"--headless", "--curve", "curve.dat", "--client-name", "Graph",
                                       "--no-test-note"});
    ASSERT_TRUE(program.waitForOutput("velomorph : Port MidiIn : aucun appareil\n", 1, StartLimit))
        << program.output();
    ASSERT_TRUE(program.waitForOutput("velomorph : Port MidiOut : aucun appareil\n", 1, StartLimit))
        << program.output();
    EXPECT_EQ(Occurrences(program.output(), "attend les connexions faites dans le graphe JACK"), 1u)
        << program.output();
    EXPECT_TRUE(keyboard.connections("keyboard:out").empty()) << "no device is taken by default";

    ASSERT_TRUE(keyboard.connect("keyboard:out", "Graph:in"));
    ASSERT_TRUE(keyboard.connect("pads:out", "Graph:in"));
    ASSERT_TRUE(keyboard.connect("Graph:out", "keyboard:in"));
    ASSERT_TRUE(program.waitForOutput("velomorph : Port MidiOut ouvert (« keyboard:in »)\n", 1, StartLimit))
        << program.output();
    const TTransferTable table = BuildTransferTable(ReadCurvePoints(PathOf("curve.dat")));
    keyboard.send({0x90, 60, 30});
    pads.send({0x99, 36, 90});
    ASSERT_TRUE(keyboard.waitForEvents(2, EventLimit)) << program.output();
    std::vector<Bytes> got;
    for (const auto& event : keyboard.events())
        got.push_back(event.bytes);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<Bytes>{{0x90, 60, table[30]}, {0x99, 36, table[90]}})) << "both sources, mapped";
    EXPECT_TRUE(program.signal(SIGTERM));
    EXPECT_EQ(program.exitCode(), 0) << program.output();
}

// --no-test-note: a rig restarted by its service manager stays silent; the
// first thing the device hears is what was played.
TEST_F(Headless, NoTestNoteKeepsTheStartSilent)
{
    WriteInPlace(PathOf("curve.dat"), HardCurve);
    JackProbe keyboard("keyboard");
    HeadlessProgram program(Folder(), {"--headless", "--curve", "curve.dat", "--no-test-note", "--input", "keyboard", "--output", "keyboard"});
    ASSERT_TRUE(program.waitForOutput("velomorph : Port MidiOut ouvert (« keyboard:in »)\n", 1, StartLimit))
        << program.output();
    keyboard.send({0xB0, 7, 30});
    ASSERT_TRUE(keyboard.waitForEvents(1, EventLimit)) << program.output();
    const TTransferTable table = BuildTransferTable(ReadCurvePoints(PathOf("curve.dat")));
    EXPECT_EQ(keyboard.events()[0].bytes, (Bytes{0xB0, 7, table[30]})) << "the test note came first";
    EXPECT_TRUE(program.signal(SIGTERM));
    EXPECT_EQ(program.exitCode(), 0) << program.output();
}

// A curve file that cannot be read: exit code 3 and the reader's message,
// before anything is opened; also with no MIDI server at all.
TEST_F(Headless, RefusesACurveFileThatCannotBeReadBeforeOpeningAnything)
{
    WriteInPlace(PathOf("large.dat"), std::string(TIniFile::MaxFileSize + 1, ';'));
    std::filesystem::create_directory(PathOf("folder.dat"));
    // Another program holds a lock on it for as long as it likes.
    WriteInPlace(PathOf("locked.dat"), SoftCurve);
    const int holder = ::open(PathOf("locked.dat").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    struct Case {
        const char* name;
        const char* file;
        std::string message;
        std::vector<std::string> environment;
    };
    const Case cases[] = {
        {"missing", "missing.dat", "velomorph : Impossible de lire missing.dat : fichier introuvable\n", {}},
        {"too large", "large.dat", "velomorph : Impossible de lire large.dat : le fichier dépasse 1 Mo\n", {}},
        {"a folder", "folder.dat", "velomorph : Impossible de lire folder.dat\n", {}},
        {"locked by another program", "locked.dat",
         "velomorph : Impossible de lire locked.dat : verrouillé par un autre programme\n", {}},
        {"missing, no MIDI server either", "missing.dat",
         "velomorph : Impossible de lire missing.dat : fichier introuvable\n",
         {"JACK_DEFAULT_SERVER=velomorph-absent-" + std::to_string(::getpid())}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JackProbe watcher("watcher");
        HeadlessProgram program(Folder(), {"--headless", "--curve", c.file, "--client-name", "BadCurve"},
                                c.environment);
        EXPECT_EQ(program.exitCode(), 3);
        EXPECT_EQ(program.output(), c.message);
        EXPECT_FALSE(ProgramJoined(watcher, "BadCurve"));
        EXPECT_FALSE(HasPortsOf(watcher, "BadCurve"));
    }
    ::close(holder);
}

// File names are bytes: a curve file whose name is not UTF-8 opens as any
// other. A client name must be text: such bytes are refused.
TEST_F(Headless, TakesAnyFileNameButOnlyATextAsClientName)
{
    JackProbe keyboard("keyboard");
    const std::string name = "caf\xff" "e.dat";
    WriteInPlace(PathOf("x.dat"), HardCurve);
    std::filesystem::rename(PathOf("x.dat"), Folder() + "/" + name);
    HeadlessProgram program(Folder(), {"--headless", "--curve", name, "--input", "keyboard", "--output", "keyboard"});
    ASSERT_NO_FATAL_FAILURE(ExpectTestNote(keyboard, program));
    EXPECT_EQ(SweepDifferences(keyboard, keyboard, Folder() + "/" + name), "");
    EXPECT_TRUE(program.signal(SIGTERM));
    EXPECT_EQ(program.exitCode(), 0) << program.output();

    HeadlessProgram refused(Folder(), {"--headless", "--client-name", "Sc\xe8ne"});
    EXPECT_EQ(refused.exitCode(), 2);
    EXPECT_NE(refused.output().find("le nom du client MIDI doit être un texte UTF-8 valide."), std::string::npos)
        << refused.output();
}

// Two copies on one server: the second, left to choose by itself, never
// takes the first one's ports (on JACK it takes no device at all), so no
// note circles between them. A copy named on purpose as the source of
// another still is one: curves in a chain.
TEST_F(Headless, TwoCopiesNeverFeedEachOtherByDefault)
{
    WriteInPlace(PathOf("curve.dat"), HardCurve);
    HeadlessProgram first(Folder(), {"--headless", "--curve", "curve.dat", "--client-name", "CopyA", "--no-test-note",
                                     "--input", "kb:out", "--output", "kb:in"});
    ASSERT_TRUE(first.waitForOutput("velomorph : entrée « kb:out » absente", 1, StartLimit)) << first.output();
    JackProbe kb("kb");
    ASSERT_TRUE(first.waitForOutput("velomorph : Port MidiIn ouvert (« kb:out »)\n", 1, StartLimit)) << first.output();
    ASSERT_TRUE(first.waitForOutput("velomorph : Port MidiOut ouvert (« kb:in »)\n", 1, StartLimit)) << first.output();

    const auto playAndCount = [&](std::size_t perNote) {
        kb.clearEvents();
        for (std::uint8_t n = 0; n < 10; ++n)
            kb.send({0x90, static_cast<std::uint8_t>(60 + n), 100});
        EXPECT_TRUE(kb.waitForEvents(10 * perNote, EventLimit));
        // Whatever would circle has had many periods to come round again.
        std::this_thread::sleep_for(500ms);
        kb.collect();
        return kb.events().size();
    };
    {
        // Left to itself on JACK a copy takes no device at all.
        HeadlessProgram second(Folder(), {"--headless", "--curve", "curve.dat", "--client-name", "CopyB"});
        ASSERT_TRUE(second.waitForOutput("velomorph : Port MidiOut : aucun appareil\n", 1, StartLimit))
            << second.output();
        EXPECT_EQ(kb.connections("CopyA:out"), std::vector<std::string>{"kb:in"});
        EXPECT_EQ(kb.connections("CopyA:in"), std::vector<std::string>{"kb:out"});
        EXPECT_EQ(playAndCount(1), 10u) << "each note once, through the first copy alone";
        EXPECT_TRUE(second.signal(SIGTERM));
        EXPECT_EQ(second.exitCode(), 0) << second.output();
    }
    kb.clearEvents();
    HeadlessProgram chained(Folder(), {"--headless", "--curve", "curve.dat", "--client-name", "CopyC", "--input",
                                       "CopyA:out", "--output", "kb:in"});
    ASSERT_NO_FATAL_FAILURE(ExpectTestNote(kb, chained));
    ASSERT_TRUE(chained.waitForOutput("velomorph : Port MidiIn ouvert (« CopyA:out »)\n")) << chained.output();
    const std::vector<std::string> fed = kb.connections("CopyA:out");
    EXPECT_NE(std::find(fed.begin(), fed.end(), "CopyC:in"), fed.end());
    EXPECT_EQ(playAndCount(2), 20u) << "each note through A, and through A then C";
    EXPECT_TRUE(chained.signal(SIGTERM));
    EXPECT_EQ(chained.exitCode(), 0) << chained.output();
    EXPECT_TRUE(first.signal(SIGTERM));
    EXPECT_EQ(first.exitCode(), 0) << first.output();
}

TEST_F(Headless, EndsWithExitCode4WhenThereIsNoMidiServer)
{
    // The ALSA sequencer counts as a MIDI server: only a machine without one can show this.
    if (::access("/dev/snd/seq", F_OK) == 0)
        GTEST_SKIP() << "this machine has an ALSA sequencer";
    const std::string absent = "velomorph-absent-" + std::to_string(::getpid());
    WriteInPlace(PathOf("curve.dat"), SoftCurve);
    HeadlessProgram program(Folder(), {"--headless", "--curve", "curve.dat"}, {"JACK_DEFAULT_SERVER=" + absent});
    EXPECT_EQ(program.exitCode(), 4);
    EXPECT_EQ(program.output(), "velomorph : aucun serveur MIDI : ni le séquenceur ALSA ni un serveur JACK ne répond\n");

    // It started no server of that name either.
    ChildProcess lsp;
    lsp.start("jack_lsp", {}, {"JACK_NO_START_SERVER=1", "JACK_DEFAULT_SERVER=" + absent},
              ChildProcess::Output::Discarded);
    EXPECT_FALSE(lsp.wait(EndLimitSeconds));
    EXPECT_FALSE(lsp.running());
}

TEST_F(Headless, RefusesAnUnknownOptionWithExitCode2BeforeOpeningAnything)
{
    WriteInPlace(PathOf("curve.dat"), SoftCurve);
    JackProbe watcher("watcher");
    HeadlessProgram program(Folder(), {"--headless", "--curve", "curve.dat", "--client-name", "Unknown", "--loud"});
    EXPECT_EQ(program.exitCode(), 2);
    const std::string output = program.output();
    EXPECT_EQ(output.rfind("velomorph : Option inconnue \"loud\".\n", 0), 0u) << output;
    EXPECT_NE(output.find("--headless"), std::string::npos) << "the usage follows\n" << output;
    EXPECT_FALSE(ProgramJoined(watcher, "Unknown"));
}

// SIGTERM and SIGINT end it with exit code 0 and its ports closed, also
// while the start-up still runs (its test note waits in the event loop).
struct EndCase {
    const char* name;
    int signal;
    bool duringTestNote; // between the test note's Note On and Note Off
};

void PrintTo(const EndCase& c, std::ostream* out)
{
    *out << c.name;
}

class HeadlessEnd : public Headless, public ::testing::WithParamInterface<EndCase> {};

TEST_P(HeadlessEnd, EndsWithExitCode0AndLeavesNoPortBehind)
{
    const EndCase& c = GetParam();
    JackProbe keyboard("keyboard");
    WriteInPlace(PathOf("curve.dat"), SoftCurve);
    HeadlessProgram program(Folder(), {"--headless", "--curve", "curve.dat", "--client-name", "Ending", "--input", "keyboard", "--output", "keyboard"});
    ASSERT_TRUE(keyboard.waitForEvents(c.duringTestNote ? 1 : 2, StartLimit)) << "no test note\n"
                                                                              << program.output();
    EXPECT_TRUE(program.signal(c.signal));
    EXPECT_EQ(program.exitCode(), 0) << program.output();
    EXPECT_FALSE(HasPortsOf(keyboard, "Ending"));
}

INSTANTIATE_TEST_SUITE_P(Signals, HeadlessEnd,
                         ::testing::Values(EndCase{"sigterm", SIGTERM, false}, EndCase{"sigint", SIGINT, false},
                                           EndCase{"sigterm_during_the_start", SIGTERM, true},
                                           EndCase{"sigint_during_the_start", SIGINT, true}));

} // namespace
