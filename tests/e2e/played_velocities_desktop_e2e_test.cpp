// SPDX-License-Identifier: GPL-3.0-or-later
// The played velocities of the real program on its own X server (Xvfb) and
// the private JACK server: the probe, keyboard and synth at once, plays a
// known set of velocities; "Edition" > "Copier les vélocités jouées", chosen
// through XTEST, puts their counts on the X clipboard, read back by xclip as
// any other program would.
#include "curve/curve_points.h"
#include "curve/transfer_table.h"
#include "desktop_program.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;

// The middle of "Edition" on the menu bar, in pixels from the window's left
// edge: its text spans 61..96, that of "Fichier" 11..45.
constexpr int EditionX = 79;
// "Copier les vélocités jouées" is the fifth item of "Edition", none disabled before it.
constexpr int CopyPlayedItem = 5;

using Counts = std::array<int, 128>;

using namespace desktop;

class PlayedVelocitiesOnTheDesktop : public DesktopProgram {
protected:
    // "Edition", then its item "Copier les vélocités jouées", from the keyboard.
    void ChooseCopyPlayed(const XWindow& main)
    {
        x->click(main.x + EditionX, main.y + (main.height - ClientHeight) / 2);
        ASSERT_TRUE(x->waitForNewWindow({main}, "", 10s)) << "the menu did not open";
        for (int i = 0; i < CopyPlayedItem; ++i)
            x->key(KeyDown);
        x->key(KeyReturn);
    }

    // The X clipboard's text as xclip reads it on our display; empty when nobody holds it.
    QString Clipboard()
    {
        QProcess xclip;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", QString::fromStdString(xServer->display()));
        xclip.setProcessEnvironment(env);
        xclip.start(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
        if (!xclip.waitForStarted(5000)) {
            ADD_FAILURE() << "xclip does not start";
            return {};
        }
        if (!xclip.waitForFinished(10000)) {
            xclip.kill();
            xclip.waitForFinished(5000);
            return {};
        }
        return QString::fromUtf8(xclip.readAllStandardOutput());
    }
};

TEST_F(PlayedVelocitiesOnTheDesktop, CopyingThePlayedVelocitiesGivesTheirCounts)
{
    Start({}, true);
    const std::optional<XWindow> found = x->waitForNewWindow({}, "Velomorph", 30s);
    ASSERT_TRUE(found) << "no main window; " << Stderr().toStdString();
    const XWindow main = *found;
    // The test note has been played: the start-up is over and the probe's ports are the devices.
    ASSERT_TRUE(probe->waitForEvents(2, 30s)) << "no test note";
    probe->clearEvents();

    // Velocities from soft to loud, each as often as the table says, with
    // the extremes and a velocity the default curve sends out as 0.
    const std::vector<std::pair<int, int>> table{{1, 2}, {5, 1},  {20, 3}, {40, 5},  {64, 9},
                                                  {65, 4}, {90, 6}, {110, 2}, {127, 3}};
    const TTransferTable transfer = BuildTransferTable(DefaultCurvePoints);
    Counts played{};
    Counts left{};
    std::size_t sent = 0;
    for (const auto& [velocity, times] : table) {
        for (int i = 0; i < times; ++i) {
            probe->send({0x90, 60, std::uint8_t(velocity)});
            probe->send({0x80, 60, 0});
            sent += 2;
            played[std::size_t(velocity)] += 1;
            const int out = transfer[std::size_t(velocity)];
            left[std::size_t(out == 0 ? 1 : out)] += 1; // a played note never leaves silenced
            std::this_thread::sleep_for(1ms);
        }
    }
    ASSERT_TRUE(probe->waitForEvents(sent, 30s)) << "the synth received " << probe->events().size() << " of " << sent;
    Counts heard{};
    for (const JackProbe::Event& event : probe->events())
        if (event.bytes.size() == 3 && (event.bytes[0] & 0xF0) == 0x90 && event.bytes[2] > 0)
            heard[event.bytes[2]] += 1;
    ASSERT_EQ(heard, left) << "the synth did not receive what the default curve gives";

    QString expected = QStringLiteral("Vélocité\tEntrée\tSortie\n");
    for (int v = 1; v < 128; ++v)
        expected += QStringLiteral("%1\t%2\t%3\n").arg(v).arg(played[std::size_t(v)]).arg(left[std::size_t(v)]);

    // The window counts on its own thread after the notes went through:
    // copied again until the last note is in, for a while.
    x->waitUntilSettled(main, 10s);
    QString text;
    QElapsedTimer waited;
    waited.start();
    do {
        ChooseCopyPlayed(main);
        if (HasFatalFailure())
            return;
        for (int i = 0; i < 50; ++i) {
            text = Clipboard();
            if (text.startsWith(QStringLiteral("Vélocité")))
                break;
            std::this_thread::sleep_for(100ms);
        }
    } while (text != expected && waited.elapsed() < 15000);

    const QStringList lines = text.split(u'\n', Qt::SkipEmptyParts);
    const QStringList expectedLines = expected.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 128) << text.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("Vélocité\tEntrée\tSortie"));
    for (int v = 1; v < 128; ++v)
        EXPECT_EQ(lines[v], expectedLines[v]);
    EXPECT_TRUE(text.endsWith(u'\n'));
}

} // namespace
