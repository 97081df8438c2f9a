// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/headless.h"

#include "app/console_view.h"
#include "app/error_report.h"
#include "app/headless_session.h"
#include "curve/curve_file.h"
#include "curve/transfer_table.h"
#include "platform/exception.h"
#include "platform/file_name.h"
#include "platform/midi/midi_services.h"
#include "platform/termination_request.h"
#include "routing/midi_routing.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>

#include <sys/stat.h>

namespace {

using namespace std::chrono_literals;

// An editor writes a file in several steps; the curve is read once the file
// has stood unchanged this long.
constexpr auto ReloadDelay = 200ms;
constexpr auto CountsInterval = 1s;

// The curve of the file, or of the window's start when no file is given.
CurvePoints ReadPoints(const QString& path)
{
    return path.isEmpty() ? DefaultCurvePoints : ReadCurvePoints(EncodeFileName(path).toStdString());
}

// Reads the curve file again when it changes, also when an editor replaces
// it by another file of the same name (its folder is watched too).
class TCurveWatch {
public:
    TCurveWatch(const QString& path, std::function<void()> reload)
        : path(QFileInfo(path).absoluteFilePath()), reload(std::move(reload))
    {
        delay.setSingleShot(true);
        delay.setInterval(ReloadDelay);
        QObject::connect(&delay, &QTimer::timeout, [this] {
            Watch();
            const auto now = Stamp();
            if (now == stamp)
                return;
            // Still being written: read once it has stood still.
            const qint64 age = now.second.isValid() ? now.second.msecsTo(QDateTime::currentDateTime()) : -1;
            if (age >= 0 && age < ReloadDelay.count()) {
                delay.start();
                return;
            }
            stamp = now;
            this->reload();
        });
        const auto changed = [this] { delay.start(); };
        QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, changed);
        QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, changed);
        stamp = Stamp();
        Watch();
    }

private:
    // Size and time of the last change: a folder that changes for another
    // file leaves the curve alone.
    std::pair<qint64, QDateTime> Stamp() const
    {
        struct stat status {};
        if (::stat(EncodeFileName(path).constData(), &status) != 0)
            return {-1, QDateTime()};
        return {status.st_size,
                QDateTime::fromMSecsSinceEpoch(qint64{status.st_mtim.tv_sec} * 1000 + status.st_mtim.tv_nsec / 1000000)};
    }

    void Watch()
    {
        if (!watcher.files().contains(path) && QFileInfo::exists(path))
            watcher.addPath(path);
        const QString folder = QFileInfo(path).absolutePath();
        if (!watcher.directories().contains(folder))
            watcher.addPath(folder);
    }

    QString path;
    std::function<void()> reload;
    QFileSystemWatcher watcher;
    QTimer delay;
    std::pair<qint64, QDateTime> stamp;
};

// Every error that leaves an event handler (a message that arrives while no
// output is open, ...) goes to the error report, as in the window; the
// program runs on.
class TConsoleApplication final : public QCoreApplication {
public:
    using QCoreApplication::QCoreApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        bool handled = false;
        RunGuarded([&] { handled = QCoreApplication::notify(receiver, event); });
        return handled;
    }
};

} // namespace

int RunHeadless(char* program, const TCommandLine& given)
{
    int argc = 1;
    char* argv[] = {program, nullptr};
    TConsoleApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Velomorph"));
    // The error report is a line on stderr. Each message that cannot leave
    // raises the same error: it is printed once, until another one comes.
    QString lastError;
    SetErrorSink([&lastError](const QString& text) {
        if (text == lastError)
            return;
        lastError = text;
        PrintConsoleLine(text);
    });
    const struct SinkReset {
        ~SinkReset() { SetErrorSink({}); }
    } sinkReset;
    // A request to end can come at any moment of the start-up, also while its
    // waits run the event loop, where QCoreApplication::exit does nothing:
    // the start-up then stops short and the loop is never entered.
    bool ending = false;
    InstallTerminationRequestHandler([&ending] {
        ending = true;
        QCoreApplication::exit(0);
    });
    // Nothing to save here: a main thread held up past its time just ends.
    SetTerminationFallback([] {});

    // Under a session manager nothing joins the MIDI server before the
    // session is open; the session then names the client and gives the
    // curve, the devices and the mode.
    const std::unique_ptr<THeadlessSession> session = THeadlessSession::Start(program, ending);
    if (ending)
        return 0;
    const TCommandLine command = session ? session->Command(given) : given;

    // Nothing is opened before the curve has been read.
    CurvePoints points;
    try {
        points = ReadPoints(command.CurveFile);
    } catch (const Exception& error) {
        PrintConsoleLine(QString::fromStdString(error.what()));
        return ExitCurveFile;
    }

    SetMidiClientName(command.ClientName.toStdString());
    if (!MidiServerAvailable()) {
        PrintConsoleLine(QStringLiteral("aucun serveur MIDI : ni le séquenceur ALSA ni un serveur JACK ne répond"));
        SetMidiBackend(nullptr);
        return ExitNoMidiServer;
    }

    TMidiRouting routing;
    routing.CreateMidiPorts();
    // In a graph of ports a side without a name takes no device: the port
    // carries whatever the graph connects to it.
    const bool graph = MidiGraphAvailable();
    const auto wanted = [graph](const QString& name) {
        return name.isEmpty() && graph ? std::string(TMidiRouting::NoDeviceEntry) : name.toStdString();
    };
    TConsoleView view({wanted(command.InputName), wanted(command.OutputName)},
                      [&routing](TPortSide side) { routing.AddChosenDevice(side); });
    routing.AttachView(&view);
    routing.PublishTransferTable(BuildTransferTable(points));
    routing.SetNotesOnly(command.NotesOnly);

    // Only a whole curve goes live: a file caught half written keeps the
    // curve in force, said once until the file reads whole again.
    QString lastFailure;
    const auto reload = [&] {
        if (command.CurveFile.isEmpty()) {
            PrintConsoleLine(QStringLiteral("pas de fichier de courbe à relire (--curve)"));
            return;
        }
        try {
            routing.PublishTransferTable(
                BuildTransferTable(ReadCompleteCurvePoints(EncodeFileName(command.CurveFile).toStdString())));
            lastFailure.clear();
            PrintConsoleLine(QStringLiteral("courbe relue : %1").arg(command.CurveFile));
        } catch (const Exception& error) {
            const QString failure = QStringLiteral("%1 ; la courbe précédente reste en place")
                                        .arg(QString::fromStdString(error.what()));
            if (failure != lastFailure)
                PrintConsoleLine(failure);
            lastFailure = failure;
        }
    };
    SetReloadRequestHandler(reload);
    std::unique_ptr<TCurveWatch> watch;
    if (!command.CurveFile.isEmpty())
        watch = std::make_unique<TCurveWatch>(command.CurveFile, reload);

    QTimer counts;
    if (command.Verbose) {
        QObject::connect(&counts, &QTimer::timeout, [&] {
            const TMidiRouting::TTraffic traffic = routing.Traffic();
            const auto mapping = view.LastMapping();
            PrintConsoleLine(QStringLiteral("reçus %1, envoyés %2, perdus %3, dernier %4")
                                 .arg(traffic.In)
                                 .arg(traffic.Out)
                                 .arg(traffic.Lost)
                                 .arg(mapping ? QStringLiteral("In = %1 -> Out = %2").arg(mapping->first).arg(mapping->second)
                                              : QStringLiteral("aucun")));
        });
        counts.start(CountsInterval);
    }

    // The window's start-up: devices, then the test note.
    routing.FillDeviceLists();
    routing.AddChosenDevice(TPortSide::Input);
    routing.AddChosenDevice(TPortSide::Output);
    if (graph && (command.InputName.isEmpty() || command.OutputName.isEmpty()))
        PrintConsoleLine(QStringLiteral("%1 attend les connexions faites dans le graphe JACK")
                             .arg(command.InputName.isEmpty() && command.OutputName.isEmpty()
                                      ? QStringLiteral("ni --input ni --output : chaque port")
                                      : command.InputName.isEmpty() ? QStringLiteral("sans --input : l'entrée")
                                                                    : QStringLiteral("sans --output : la sortie")));
    if (!ending && !command.NoTestNote)
        RunGuarded([&] { routing.SendTestNote(); });

    if (session)
        session->Ready();
    const int result = ending ? 0 : QCoreApplication::exec();
    watch.reset();
    routing.FreeMidiPorts();
    SetMidiBackend(nullptr);
    return result;
}
