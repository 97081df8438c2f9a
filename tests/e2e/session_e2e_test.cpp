// SPDX-License-Identifier: GPL-3.0-or-later
// The real program under a session manager (NSM API 1.1), the test's own
// (session_server.h), on the private JACK server: nothing joins the server
// before the session opens, then a client named as the manager says; the
// session's folder holds the curve and the state, written whole by a save
// and restored by the next start; dirty and clean news; the window shown
// and hidden at the manager's request and by its menu; the manager's
// SIGTERM ends it at once and writes nothing; a manager that does not
// answer; the mode without a window under a session.
#include "app/app_settings.h"
#include "child_process.h"
#include "curve/curve_file.h"
#include "curve/curve_points.h"
#include "curve/transfer_table.h"
#include "curve_builder.h"
#include "jack_probe.h"
#include "session_server.h"
#include "wait_until.h"
#include "x_session.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Names = std::vector<std::string>;

// Generous limits: a loaded machine, a sanitizer build.
constexpr auto StartLimit = 30s;
constexpr auto EventLimit = 10s;
// The manager's SIGTERM asks for an end within 1 s; a loaded two-core
// machine may take longer to close a JACK client, so this bound is wider
// and the time taken is printed.
constexpr double EndLimitSeconds = 3;
// The window's client area, below the menu bar; the "+" of the point count.
constexpr int ClientHeight = 459;
constexpr int CountPlusX = 710;
constexpr int CountPlusY = 21;
constexpr std::uint32_t KeyDown = 0xff54;
constexpr std::uint32_t KeyReturn = 0xff0d;

const std::string Open = "/nsm/client/open";
const std::string Save = "/nsm/client/save";
const std::string Shown = "/nsm/client/gui_is_shown";
const std::string Hidden = "/nsm/client/gui_is_hidden";
const std::string Dirty = "/nsm/client/is_dirty";
const std::string Clean = "/nsm/client/is_clean";

std::string Read(const QString& path)
{
    std::ifstream in(QFile::encodeName(path).toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Whether anything lies below `folder` (none when it does not exist).
bool HoldsFiles(const QString& folder)
{
    return !QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty();
}

// The real program with NSM_URL set, its user folders all in a temporary
// home; offscreen, on an X server of the test's, or without a window.
class SessionProgram {
public:
    enum class Mode { Offscreen, XServer, Headless };

    SessionProgram(const std::string& nsmUrl, Mode mode, const std::string& display = {})
    {
        std::vector<std::string> env{"NSM_URL=" + nsmUrl, "HOME=" + home_.path().toStdString(),
                                     "XDG_CONFIG_HOME=" + home_.filePath("config").toStdString(),
                                     "XDG_DATA_HOME=" + home_.filePath("data").toStdString(),
                                     "XDG_RUNTIME_DIR=" + home_.path().toStdString()};
        std::vector<std::string> args;
        switch (mode) {
        case Mode::Offscreen:
            env.push_back("QT_QPA_PLATFORM=offscreen");
            break;
        case Mode::XServer:
            env.push_back("QT_QPA_PLATFORM");
            env.push_back("DISPLAY=" + display);
            break;
        case Mode::Headless:
            env.insert(env.end(), {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"});
            args.push_back("--headless");
            break;
        }
        program_.start(VELOMORPH_EXECUTABLE, args, env, ChildProcess::Output::FileWithErrors, outputPath());
    }

    pid_t pid() const { return program_.pid(); }
    bool running() { return program_.running(); }
    std::string output() const { return Read(QString::fromStdString(outputPath())); }

    // The manager's end: SIGTERM; the seconds it took to end with exit
    // code 0, or -1 when it did not within the limit.
    double Terminate()
    {
        const auto start = std::chrono::steady_clock::now();
        program_.signal(SIGTERM);
        if (!program_.wait(EndLimitSeconds))
            return -1;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("ended %.0f ms after SIGTERM\n", seconds * 1000);
        return seconds;
    }

    // Nothing of the program's in the user's configuration or data folders.
    bool WroteToUserFolders() const
    {
        return HoldsFiles(home_.filePath("config")) || HoldsFiles(home_.filePath("data"));
    }

private:
    std::string outputPath() const { return home_.filePath("output.txt").toStdString(); }

    QTemporaryDir home_;
    ChildProcess program_;
};

// Whether any client but `marker` joined the server since `watcher`
// opened: the server announces clients in order.
Names ClientsBefore(JackProbe& watcher, const std::string& marker)
{
    const JackProbe probe(marker);
    EXPECT_TRUE(watcher.waitForClientJoined(marker, EventLimit));
    Names joined = watcher.clientsJoined();
    joined.erase(std::find(joined.begin(), joined.end(), marker), joined.end());
    return joined;
}

Bytes RoundTrip(JackProbe& from, JackProbe& to, const Bytes& message)
{
    to.collect();
    const std::size_t before = to.events().size();
    from.send(message);
    if (!to.waitForEvents(before + 1, EventLimit))
        return {};
    return to.events()[before].bytes;
}

class Session : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(files.isValid()); }

    QString SessionFolder() const { return files.filePath("Ma session/Velomorph.nABCD"); }
    std::string SessionCurve() const { return QFile::encodeName(SessionFolder() + "/courbe.dat").toStdString(); }

    // A session folder as an earlier save left it: a curve of one point, and
    // the devices chosen, by their ports' names.
    CurvePoints WriteSession(int in, int out, const std::string& input, const std::string& output) const
    {
        const CurvePoints curve = CurveWith(1, {{in, out}});
        EXPECT_TRUE(QDir().mkpath(SessionFolder()));
        WriteCurveFile(SessionCurve(), curve);
        TAppSettings state(SessionFolder() + "/velomorph.conf");
        state.SetLastInput(QString::fromStdString(input));
        state.SetLastOutput(QString::fromStdString(output));
        return curve;
    }

    // Starts the program and waits for its announce; false when none came.
    bool Announced(SessionServer& server, std::unique_ptr<SessionProgram>& program, SessionProgram::Mode mode,
                   const std::string& display = {})
    {
        program = std::make_unique<SessionProgram>(server.url(), mode, display);
        return server.waitFor("/nsm/server/announce", StartLimit).has_value();
    }

    // Opens the session and waits for the program's answer.
    std::optional<SessionServer::Message> OpenSession(SessionServer& server, const std::string& clientId)
    {
        server.open(SessionFolder().toStdString(), "Ma session", clientId);
        WaitUntil([&] { return server.count("/reply", Open) + server.count("/error", Open) > 0; }, StartLimit);
        const auto reply = server.waitFor("/reply", 0ms, Open);
        return reply ? reply : server.waitFor("/error", 0ms, Open);
    }

    QTemporaryDir files;
};

TEST_F(Session, NoClientBeforeTheOpenThenOneNamedByTheManagerAndASaveWritesBothFiles)
{
    JackProbe keyboard("keyboard");
    SessionServer server;
    std::unique_ptr<SessionProgram> program;
    ASSERT_TRUE(Announced(server, program, SessionProgram::Mode::Offscreen)) << program->output();

    const SessionServer::Message announce = *server.waitFor("/nsm/server/announce", 0ms);
    EXPECT_EQ(announce.types, "sssiii");
    EXPECT_EQ(announce.text(0), "Velomorph");
    EXPECT_EQ(announce.text(1), ":optional-gui:dirty:message:");
    EXPECT_EQ(announce.text(2), VELOMORPH_EXECUTABLE);
    EXPECT_EQ(std::get<std::int32_t>(announce.args[3]), 1);
    EXPECT_EQ(std::get<std::int32_t>(announce.args[4]), 1);
    EXPECT_EQ(std::get<std::int32_t>(announce.args[5]), program->pid());
    // Told once right after the answer: no window before the session.
    EXPECT_TRUE(server.waitFor(Hidden, EventLimit)) << server.log();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(ClientsBefore(keyboard, "marker-before-open"), Names{}) << program->output();

    const auto reply = OpenSession(server, "Velomorph.nABCD");
    ASSERT_TRUE(reply && reply->path == "/reply") << server.log() << program->output();
    EXPECT_TRUE(keyboard.waitForClientJoined("Velomorph.nABCD", EventLimit)) << program->output();
    ASSERT_TRUE(keyboard.waitForEvents(2, StartLimit)) << "no test note\n" << program->output();
    EXPECT_EQ(keyboard.connections("Velomorph.nABCD:in"), Names{keyboard.outputPort()});
    EXPECT_TRUE(server.waitFor(Shown, EventLimit)) << server.log();
    // A new session: the default curve, and nothing written before a save.
    EXPECT_FALSE(QFileInfo::exists(SessionFolder()));

    server.save();
    ASSERT_TRUE(server.waitFor("/reply", EventLimit, Save)) << server.log() << program->output();
    EXPECT_TRUE(server.waitFor(Clean, EventLimit)) << server.log();
    EXPECT_EQ(ReadCurvePoints(SessionCurve()),
              DefaultCurvePoints);
    const TAppSettings state(SessionFolder() + "/velomorph.conf");
    EXPECT_TRUE(state.WindowShown());
    EXPECT_FALSE(state.NotesOnly());
    // The first devices listed opened, but none was chosen.
    EXPECT_EQ(state.LastInput(), QString());
    EXPECT_EQ(state.LastOutput(), QString());

    server.sessionIsLoaded();
    EXPECT_GE(program->Terminate(), 0) << program->output();
    EXPECT_FALSE(program->WroteToUserFolders());
    EXPECT_EQ(server.count("/error"), 0u) << server.log();
}

TEST_F(Session, TheManagersEndBeforeTheOpenEndsTheProgramWithoutAClient)
{
    JackProbe keyboard("keyboard");
    for (const SessionProgram::Mode mode : {SessionProgram::Mode::Offscreen, SessionProgram::Mode::Headless}) {
        SessionServer server;
        std::unique_ptr<SessionProgram> program;
        ASSERT_TRUE(Announced(server, program, mode)) << program->output();
        EXPECT_GE(program->Terminate(), 0) << program->output();
    }
    EXPECT_EQ(ClientsBefore(keyboard, "marker-after-end"), Names{});
}

TEST_F(Session, ASecondStartRestoresTheCurveTheModeTheWindowAndTheDevices)
{
    JackProbe keyboard("keyboard");
    JackProbe pads("pads");
    JackProbe synth("synth");
    const CurvePoints soft = WriteSession(64, 30, pads.outputPort(), synth.inputPort());
    const TTransferTable table = BuildTransferTable(soft);
    {
        TAppSettings state(SessionFolder() + "/velomorph.conf");
        state.SetNotesOnly(true);
        state.SetWindowShown(false);
    }

    {
        SessionServer server;
        std::unique_ptr<SessionProgram> program;
        ASSERT_TRUE(Announced(server, program, SessionProgram::Mode::Offscreen)) << program->output();
        const auto reply = OpenSession(server, "velomorph-2");
        ASSERT_TRUE(reply && reply->path == "/reply") << server.log() << program->output();
        ASSERT_TRUE(synth.waitForEvents(2, StartLimit)) << "no test note\n" << program->output();
        EXPECT_EQ(keyboard.connections("velomorph-2:in"), Names{pads.outputPort()});
        EXPECT_EQ(keyboard.connections("velomorph-2:out"), Names{synth.inputPort()});
        EXPECT_EQ(RoundTrip(pads, synth, {0x90, 60, 100}), (Bytes{0x90, 60, table[100]}));
        // "Notes seulement": a controller's value passes as it came.
        ASSERT_NE(table[100], 100);
        EXPECT_EQ(RoundTrip(pads, synth, {0xB0, 7, 100}), (Bytes{0xB0, 7, 100}));
        // The window stays hidden, and MIDI flows meanwhile.
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(server.count(Shown), 0u) << server.log();

        server.showGui();
        EXPECT_TRUE(server.waitFor(Shown, EventLimit)) << server.log();
        server.hideGui();
        EXPECT_TRUE(server.waitFor(Hidden, EventLimit, {}, 2)) << server.log();
        server.showGui();
        EXPECT_TRUE(server.waitFor(Shown, EventLimit, {}, 2)) << server.log();
        server.save();
        ASSERT_TRUE(server.waitFor("/reply", EventLimit, Save)) << server.log() << program->output();
        EXPECT_EQ(ReadCurvePoints(SessionCurve()), soft);
        EXPECT_TRUE(TAppSettings(SessionFolder() + "/velomorph.conf").WindowShown());
        EXPECT_GE(program->Terminate(), 0) << program->output();
        EXPECT_FALSE(program->WroteToUserFolders());
    }

    // The window saved as shown comes back shown.
    SessionServer server;
    std::unique_ptr<SessionProgram> program;
    ASSERT_TRUE(Announced(server, program, SessionProgram::Mode::Offscreen)) << program->output();
    ASSERT_TRUE(OpenSession(server, "velomorph-2")) << server.log();
    EXPECT_TRUE(server.waitFor(Shown, EventLimit)) << server.log();
    EXPECT_GE(program->Terminate(), 0) << program->output();
}

TEST_F(Session, TheWindowsMenusWorkOnTheSessionAndTheManagersEndWritesNothing)
{
    JackProbe keyboard("keyboard");
    PrivateXServer xServer;
    XSession x(xServer.display());
    SessionServer server;
    std::unique_ptr<SessionProgram> program;
    ASSERT_TRUE(Announced(server, program, SessionProgram::Mode::XServer, xServer.display()));
    ASSERT_TRUE(OpenSession(server, "velomorph")) << server.log();

    // The caption names the session.
    const std::optional<XWindow> main = x.waitForNewWindow({}, "Velomorph - Ma session", StartLimit);
    ASSERT_TRUE(main) << program->output();
    x.waitUntilSettled(*main, 10s);
    const int clientTop = main->y + (main->height - ClientHeight);
    const auto chooseFileItem = [&](int downs) {
        x.click(main->x + 20, main->y + (main->height - ClientHeight) / 2);
        ASSERT_TRUE(x.waitForNewWindow({*main}, "", 10s)) << "the menu did not open";
        for (int i = 0; i < downs; ++i)
            x.key(KeyDown);
        x.key(KeyReturn);
    };

    // One more point: the session is dirty.
    x.click(main->x + CountPlusX, clientTop + CountPlusY);
    EXPECT_TRUE(server.waitFor(Dirty, EventLimit)) << server.log();
    // "Sauver" writes the session without a dialog.
    ASSERT_NO_FATAL_FAILURE(chooseFileItem(2));
    EXPECT_TRUE(server.waitFor(Clean, EventLimit)) << server.log();
    // One point more than the default curve's.
    EXPECT_EQ(ReadCurvePoints(SessionCurve()), CurveWith(3, {}));
    const std::vector<XWindow> windows = x.windows();
    EXPECT_EQ(std::count_if(windows.begin(), windows.end(), [](const XWindow& w) { return !w.popup; }), 1);

    // "Quitter" hides the window, and the program runs on.
    ASSERT_NO_FATAL_FAILURE(chooseFileItem(4));
    EXPECT_TRUE(server.waitFor(Hidden, EventLimit, {}, 2)) << server.log();
    EXPECT_TRUE(program->running());
    server.showGui();
    EXPECT_TRUE(x.waitForNewWindow({}, "Velomorph - Ma session", EventLimit));

    // A save that fails: the error box, and the manager's user hears of it.
    x.click(main->x + CountPlusX, clientTop + CountPlusY);
    EXPECT_TRUE(server.waitFor(Dirty, EventLimit, {}, 2)) << server.log();
    const QString curveFile = SessionFolder() + "/courbe.dat";
    ASSERT_TRUE(QFile::remove(curveFile) && QDir().mkpath(curveFile));
    const std::string state = Read(SessionFolder() + "/velomorph.conf");
    ASSERT_NO_FATAL_FAILURE(chooseFileItem(2));
    const auto message = server.waitFor("/nsm/client/message", EventLimit);
    ASSERT_TRUE(message) << server.log();
    EXPECT_NE(message->text(1).find("courbe.dat"), std::string::npos) << message->text(1);

    // Unsaved changes, a box on screen: the manager's end asks nothing and writes nothing.
    const double seconds = program->Terminate();
    EXPECT_GE(seconds, 0) << program->output();
    EXPECT_TRUE(QFileInfo(curveFile).isDir());
    EXPECT_EQ(Read(SessionFolder() + "/velomorph.conf"), state);
    EXPECT_FALSE(program->WroteToUserFolders());
    EXPECT_EQ(program->output().find("velomorph-recovered"), std::string::npos) << program->output();
}

TEST_F(Session, AFolderThatCannotBeTheSessionsIsRefusedAndTheProgramRunsOn)
{
    JackProbe keyboard("keyboard");
    // A file where the session's folder should be.
    ASSERT_TRUE(QDir().mkpath(QFileInfo(SessionFolder()).path()));
    QFile file(SessionFolder());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    SessionServer server;
    std::unique_ptr<SessionProgram> program;
    ASSERT_TRUE(Announced(server, program, SessionProgram::Mode::Offscreen)) << program->output();
    const auto reply = OpenSession(server, "velomorph");
    ASSERT_TRUE(reply) << server.log() << program->output();
    EXPECT_EQ(reply->path, "/error");
    EXPECT_EQ(std::get<std::int32_t>(reply->args[1]), -1);
    EXPECT_NE(reply->text(2).find("n'est pas un dossier"), std::string::npos) << reply->text(2);
    EXPECT_TRUE(server.waitFor("/nsm/client/message", EventLimit)) << server.log();
    // The default curve, on its devices.
    ASSERT_TRUE(keyboard.waitForEvents(2, StartLimit)) << "no test note\n" << program->output();
    EXPECT_EQ(RoundTrip(keyboard, keyboard, {0x90, 60, 100}),
              (Bytes{0x90, 60, BuildTransferTable(DefaultCurvePoints)[100]}));

    server.save();
    EXPECT_TRUE(server.waitFor("/error", EventLimit, Save)) << server.log();
    EXPECT_EQ(server.count(Clean), 0u) << server.log();
    EXPECT_GE(program->Terminate(), 0) << program->output();
    EXPECT_FALSE(program->WroteToUserFolders());
}

struct NoManagerCase {
    const char* name;
    SessionServer::Answer answer;
    const char* url; // instead of the server's
    const char* told;
};

class WithoutAManager : public Session, public ::testing::WithParamInterface<NoManagerCase> {};

TEST_P(WithoutAManager, TheProgramStartsAsWithoutASessionAndSaysSoOnce)
{
    JackProbe keyboard("keyboard");
    SessionServer server(GetParam().answer);
    const std::string url = GetParam().url ? GetParam().url : server.url();
    SessionProgram program(url, SessionProgram::Mode::Offscreen);
    ASSERT_TRUE(keyboard.waitForEvents(2, StartLimit)) << "no test note\n" << program.output();
    EXPECT_EQ(keyboard.connections("Velomorph:in"), Names{keyboard.outputPort()});
    const std::string output = program.output();
    const std::size_t at = output.find(GetParam().told);
    EXPECT_NE(at, std::string::npos) << output;
    EXPECT_EQ(output.find(GetParam().told, at + 1), std::string::npos) << output;
    EXPECT_GE(program.Terminate(), 0) << program.output();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WithoutAManager,
    ::testing::Values(NoManagerCase{"Silent", SessionServer::Answer::Silent, nullptr, "aucune réponse"},
                      NoManagerCase{"Refusing", SessionServer::Answer::Refuse, nullptr, "refuse Velomorph"},
                      NoManagerCase{"InvalidUrl", SessionServer::Answer::Reply, "pas une adresse", "NSM_URL"},
                      NoManagerCase{"TcpUrl", SessionServer::Answer::Reply, "osc.tcp://127.0.0.1:9/", "NSM_URL"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Session, WithoutAWindowTheSessionGivesTheCurveTheDevicesAndTheName)
{
    JackProbe synth("synth");
    JackProbe keyboard("keyboard"); // sees the clients that join after it
    const CurvePoints hard = WriteSession(40, 90, keyboard.outputPort(), synth.inputPort());
    const TTransferTable table = BuildTransferTable(hard);

    SessionServer server;
    std::unique_ptr<SessionProgram> program;
    ASSERT_TRUE(Announced(server, program, SessionProgram::Mode::Headless)) << program->output();
    EXPECT_EQ(server.waitFor("/nsm/server/announce", 0ms)->text(1), ":dirty:message:");
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(ClientsBefore(keyboard, "marker-before-open"), Names{}) << program->output();

    const auto reply = OpenSession(server, "velomorph-stage");
    ASSERT_TRUE(reply && reply->path == "/reply") << server.log() << program->output();
    ASSERT_TRUE(synth.waitForEvents(2, StartLimit)) << "no test note\n" << program->output();
    EXPECT_EQ(keyboard.connections("velomorph-stage:in"), Names{keyboard.outputPort()});
    EXPECT_EQ(keyboard.connections("velomorph-stage:out"), Names{synth.inputPort()});
    EXPECT_EQ(RoundTrip(keyboard, synth, {0x90, 60, 30}), (Bytes{0x90, 60, table[30]}));

    server.save();
    ASSERT_TRUE(server.waitFor("/reply", EventLimit, Save)) << server.log() << program->output();
    EXPECT_TRUE(server.waitFor(Clean, EventLimit)) << server.log();
    EXPECT_EQ(TAppSettings(SessionFolder() + "/velomorph.conf").LastOutput().toStdString(), synth.inputPort());
    EXPECT_EQ(ReadCurvePoints(SessionCurve()), hard);
    EXPECT_EQ(server.count(Shown) + server.count(Hidden), 0u) << server.log();
    EXPECT_GE(program->Terminate(), 0) << program->output();
    EXPECT_FALSE(program->WroteToUserFolders());
}

} // namespace
