// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The real program on its own X server (Xvfb) and the private JACK server,
// where a probe's ports are the devices it opens; its user folders all lie
// in a temporary home. What the desktop tests share.

#include "jack_probe.h"
#include "x_session.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace desktop {

using namespace std::chrono_literals;

// The main window's client area; the menu bar sits above it.
constexpr int ClientHeight = 459;

constexpr std::uint32_t KeyDown = 0xff54;
constexpr std::uint32_t KeyReturn = 0xff0d;
constexpr std::uint32_t KeyEscape = 0xff1b;

// How long the program may take to end by itself once signalled; the time
// it took is printed.
constexpr int EndLimitMs = 10000;

class DesktopProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        probe = std::make_unique<JackProbe>("keyboard");
    }

    void TearDown() override
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(5000);
        }
    }

    // Starts the program with `arguments`, on the X server when there is one,
    // else offscreen; its user folders all lie in a temporary home.
    void Start(const QStringList& arguments, bool onXServer)
    {
        if (onXServer) {
            xServer = std::make_unique<PrivateXServer>();
            x = std::make_unique<XSession>(xServer->display());
        }
        QDir(home.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_DATA_HOME", home.filePath(QStringLiteral("data")));
        env.insert("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")));
        env.insert("XDG_RUNTIME_DIR", home.filePath(QStringLiteral("runtime")));
        if (onXServer) {
            env.remove("QT_QPA_PLATFORM");
            env.insert("DISPLAY", QString::fromStdString(xServer->display()));
        } else {
            env.insert("QT_QPA_PLATFORM", "offscreen");
        }
        program.setProcessEnvironment(env);
        program.setStandardOutputFile(home.filePath(QStringLiteral("stdout.txt")));
        program.setStandardErrorFile(home.filePath(QStringLiteral("stderr.txt")));
        program.start(QStringLiteral(VELOMORPH_EXECUTABLE), arguments);
        ASSERT_TRUE(program.waitForStarted(10000));
    }

    // Waits for a window other than `known` captioned `caption`; when none
    // comes, the failure lists the captions on screen.
    std::optional<XWindow> WaitForCaption(const std::vector<XWindow>& known, const std::string& caption,
                                          std::chrono::milliseconds limit)
    {
        std::optional<XWindow> window = x->waitForNewWindow(known, caption, limit);
        if (!window) {
            std::string seen;
            for (const XWindow& w : x->windows())
                seen += " \"" + w.title + "\"";
            ADD_FAILURE() << "no window captioned \"" << caption << "\"; on screen:" << seen;
        }
        return window;
    }

    // The main window, once mapped with `caption` and drawn.
    XWindow MainWindow(const std::string& caption)
    {
        const std::optional<XWindow> window = WaitForCaption({}, caption, 30s);
        if (!window)
            return {};
        x->waitUntilSettled(*window, 10s);
        return *window;
    }

    // A click at client pixel (cx, cy) of the main window.
    void ClickClient(const XWindow& main, int cx, int cy)
    {
        x->click(main.x + cx, main.y + (main.height - ClientHeight) + cy);
    }

    // "Fichier", then its first item, "Ouvrir", from the keyboard.
    void ChooseOpen(const XWindow& main)
    {
        x->click(main.x + 20, main.y + (main.height - ClientHeight) / 2);
        ASSERT_TRUE(x->waitForNewWindow({main}, "", 10s)) << "the menu did not open";
        x->key(KeyDown);
        x->key(KeyReturn);
    }

    // Sends `signal` and waits for the program to end by itself; the time it took in ms, or -1.
    qint64 EndWith(int signal)
    {
        QElapsedTimer timer;
        timer.start();
        ::kill(static_cast<pid_t>(program.processId()), signal);
        if (!program.waitForFinished(EndLimitMs))
            return -1;
        const qint64 elapsed = timer.elapsed();
        std::printf("ended %lld ms after signal %d\n", static_cast<long long>(elapsed), signal);
        return elapsed;
    }

    QByteArray Stderr() const
    {
        QFile file(home.filePath(QStringLiteral("stderr.txt")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QString RecoveryPath() const { return home.filePath(QStringLiteral("data/Velomorph/velomorph-recovered.dat")); }

    QTemporaryDir home;
    std::unique_ptr<JackProbe> probe;
    std::unique_ptr<PrivateXServer> xServer;
    std::unique_ptr<XSession> x;
    QProcess program;
};

} // namespace desktop
