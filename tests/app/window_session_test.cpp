// SPDX-License-Identifier: GPL-3.0-or-later
// The window under a session manager (the tests' stand-in, on a real OSC
// socket), with the user's dialogs scripted: the file menu works on the
// session's folder, closing hides the window, the manager hears of every
// change since the last save.
#include "app/app_settings.h"
#include "app/widgets/step_slider.h"
#include "app/window_session.h"
#include "curve/curve_file.h"
#include "curve_builder.h"
#include "session_server.h"
#include "support/window_fixture.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr auto Limit = 10s;
const std::string Dirty = "/nsm/client/is_dirty";
const std::string Clean = "/nsm/client/is_clean";

std::string NativePath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

class WindowSession : public WindowFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(files.isValid());
        WindowFixture::SetUp();
        ::setenv("NSM_URL", server.url().c_str(), 1);
        // The manager opens the session once the program has announced itself.
        std::thread opener([this] {
            if (server.waitFor("/nsm/server/announce", Limit))
                server.open(NativePath(Folder()), "Ma session", "velomorph");
        });
        bool ending = false;
        session = TWindowSession::Start("velomorph", ending);
        opener.join();
        ::unsetenv("NSM_URL");
        ASSERT_TRUE(session);
        StartWindow();
        session->Attach(*form, prompts);
        ASSERT_TRUE(server.waitFor("/reply", Limit, "/nsm/client/open")) << server.log();
    }

    QString Folder() const { return files.filePath("session"); }
    CurvePoints SessionCurve() const { return ReadCurvePoints(NativePath(Folder() + "/courbe.dat")); }

    // A curve file of the user's, outside the session.
    QString UserCurve(const CurvePoints& points)
    {
        const QString path = files.filePath("user.dat");
        WriteCurveFile(NativePath(path), points);
        return path;
    }

    QTemporaryDir files;
    SessionServer server;
    std::unique_ptr<TWindowSession> session;
};

TEST_F(WindowSession, TheFileMenuWorksOnTheSession)
{
    EXPECT_EQ(form->ActGraphOpen->text(), "Importer dans la session…");
    EXPECT_EQ(form->ActGraphSave->text(), "Sauver");
    EXPECT_EQ(form->ActGraphSaveAs->text(), "Exporter…");
    EXPECT_EQ(form->windowTitle(), "Velomorph - Ma session");

    // Imported: the curve is the chosen file's, the session's once saved.
    const CurvePoints soft = CurveWith(1, {{64, 30}});
    prompts.filesToOpen = {UserCurve(soft)};
    form->ActGraphOpen->trigger();
    EXPECT_EQ(form->CurrentPoints(), soft);
    EXPECT_TRUE(server.waitFor(Dirty, Limit)) << server.log();
    EXPECT_EQ(form->windowTitle(), "Velomorph - Ma session");
    EXPECT_FALSE(QFileInfo::exists(Folder()));

    // Exported: a copy elsewhere; the session stays as it was.
    const QString copy = files.filePath("copie.dat");
    prompts.filesToSave = {copy};
    form->ActGraphSaveAs->trigger();
    EXPECT_EQ(ReadCurvePoints(NativePath(copy)), soft);
    EXPECT_FALSE(QFileInfo::exists(Folder()));

    // Saved: no dialog, both files, clean.
    form->ActGraphSave->trigger();
    EXPECT_EQ(SessionCurve(), soft);
    EXPECT_TRUE(QFileInfo::exists(Folder() + "/velomorph.conf"));
    EXPECT_TRUE(server.waitFor(Clean, Limit)) << server.log();

    // What does not read as a curve file changes nothing and is reported.
    const QString broken = files.filePath("dossier.dat");
    ASSERT_TRUE(QDir().mkpath(broken));
    prompts.filesToOpen = {broken};
    form->ActGraphOpen->trigger();
    EXPECT_EQ(form->CurrentPoints(), soft);
    EXPECT_EQ(reported.size(), 1) << ReportedText();

    EXPECT_TRUE(prompts.questions.isEmpty());
    EXPECT_TRUE(prompts.errors.isEmpty());
}

TEST_F(WindowSession, EveryChangeSinceTheLastSaveMakesTheSessionDirtyOnce)
{
    form->tbPtsCnt->SetPosition(form->tbPtsCnt->Position() + 1);
    ASSERT_TRUE(server.waitFor(Dirty, Limit)) << server.log();
    form->tbPtsCnt->SetPosition(form->tbPtsCnt->Position() + 1);
    form->ActMidiNotesOnly->trigger();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(server.count(Dirty), 1u) << server.log();

    server.save();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.count("/reply", "/nsm/client/save") == 1; }, 10000))
        << server.log();
    EXPECT_EQ(server.count(Clean), 1u) << server.log();
    EXPECT_TRUE(TAppSettings(Folder() + "/velomorph.conf").NotesOnly());

    // "Notes seulement" alone makes it dirty again.
    form->ActMidiNotesOnly->trigger();
    EXPECT_TRUE(server.waitFor(Dirty, Limit, {}, 2)) << server.log();
}

TEST_F(WindowSession, ClosingHidesTheWindowWithoutAQuestion)
{
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->tbPtsCnt->SetPosition(form->tbPtsCnt->Position() + 1);
    form->ActAppClose->trigger();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(server.waitFor("/nsm/client/gui_is_hidden", Limit, {}, 2)) << server.log();
    EXPECT_TRUE(prompts.questions.isEmpty());

    server.showGui();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->isVisible(); }, 10000));
    EXPECT_TRUE(server.waitFor("/nsm/client/gui_is_shown", Limit, {}, 2)) << server.log();
}

} // namespace
