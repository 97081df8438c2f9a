// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/console_view.h"

#include "app/device_match.h"
#include "app/error_report.h"
#include "routing/midi_routing.h"

#include <chrono>
#include <cstdio>

namespace {

// Longer than the wait after each opening.
constexpr std::chrono::milliseconds HintSettle{400};

QString SideName(TPortSide side)
{
    return side == TPortSide::Input ? QStringLiteral("l'entrée") : QStringLiteral("la sortie");
}

QString Quoted(const std::string& name)
{
    return QStringLiteral("« %1 »").arg(QString::fromStdString(name));
}

} // namespace

void PrintConsoleLine(const QString& text)
{
    std::fputs(QStringLiteral("velomorph : %1\n").arg(text).toUtf8().constData(), stderr);
    std::fflush(stderr);
}

TConsoleView::TConsoleView(std::array<std::string, 2> wanted, std::function<void(TPortSide)> chooseAgain)
    : chooseAgain(std::move(chooseAgain))
{
    sides[0].wanted = std::move(wanted[0]);
    sides[1].wanted = std::move(wanted[1]);
}

void TConsoleView::ClearDeviceList(TPortSide side)
{
    Of(side).listed.clear();
    Of(side).fallback.clear();
}

void TConsoleView::FillDeviceList(TPortSide side, const std::vector<std::string>& names, std::size_t chosen)
{
    Of(side).listed = names;
    Of(side).fallback = chosen < names.size() ? names[chosen] : std::string();
    Resolve(side);
}

void TConsoleView::UpdateDeviceList(TPortSide side, const std::vector<std::string>& names)
{
    Of(side).listed = names;
    // A name that waited has found its device: it is chosen, from the event
    // loop, since the routing is counting its devices right now.
    if (Resolve(side))
        QTimer::singleShot(0, [this, side] { chooseAgain(side); });
}

void TConsoleView::ShowDeviceChoices(TPortSide side, const std::vector<std::string>& items, std::size_t,
                                     const std::vector<std::string>& connected)
{
    Of(side).connected = connected;
    UpdateDeviceList(side, items);
}

bool TConsoleView::Resolve(TPortSide side)
{
    TSide& s = Of(side);
    if (s.wanted.empty())
        return false;
    const TDeviceMatch match = MatchDeviceName(s.listed, s.wanted);
    if (match.Kind == TDeviceMatch::TKind::Found) {
        const bool found = match.Name != s.resolved;
        s.resolved = match.Name;
        s.reported = false;
        return found;
    }
    if (!s.reported && s.resolved.empty()) {
        s.reported = true;
        if (match.Kind == TDeviceMatch::TKind::Ambiguous) {
            QStringList names;
            for (const std::string& name : match.Candidates)
                names << Quoted(name);
            PrintConsoleLine(QStringLiteral("%1 désigne plusieurs ports (%2) ; %3 attend qu'un seul réponde")
                                 .arg(Quoted(s.wanted), names.join(QStringLiteral(", ")), SideName(side)));
        } else {
            PrintConsoleLine(QStringLiteral("%1 %2 absente ; elle sera ouverte dès qu'elle apparaîtra")
                                 .arg(side == TPortSide::Input ? QStringLiteral("entrée") : QStringLiteral("sortie"),
                                      Quoted(s.wanted)));
        }
    }
    return false;
}

std::string TConsoleView::SelectedDevice(TPortSide side) const
{
    const TSide& s = Of(side);
    if (!s.resolved.empty())
        return s.resolved;
    if (!s.wanted.empty())
        return s.wanted;
    return s.fallback;
}

void TConsoleView::ReportError(std::exception_ptr error)
{
    // The program's error report, which the mode without a window prints.
    RunGuarded([&] { std::rethrow_exception(error); });
}

void TConsoleView::ShowPortHint(TPortSide side, const std::string& hint)
{
    // A port that is reopened is closed for a moment first: only a state
    // that holds is printed.
    TSide& s = Of(side);
    // The same state shown again (the lists were counted again) does not
    // put its printing off.
    if (s.settle && s.settle->isActive() && s.hint == hint)
        return;
    s.hint = hint;
    if (!s.settle) {
        s.settle = std::make_unique<QTimer>();
        s.settle->setSingleShot(true);
        s.settle->setInterval(HintSettle);
        QObject::connect(s.settle.get(), &QTimer::timeout, [this, side] {
            TSide& settled = Of(side);
            if (settled.hint == settled.printedHint)
                return;
            settled.printedHint = settled.hint;
            // In a graph, what is connected to the port; otherwise its device.
            // In a graph, what is connected to the port, or else the device
            // it waits for; otherwise its device.
            std::vector<std::string> shown = settled.connected.value_or(std::vector<std::string>{});
            if (shown.empty() && SelectedDevice(side) != TMidiRouting::NoDeviceEntry)
                shown.push_back(SelectedDevice(side));
            QStringList devices;
            for (const std::string& device : shown)
                if (!device.empty())
                    devices << Quoted(device);
            const QString hint = QString::fromStdString(settled.hint);
            PrintConsoleLine(devices.isEmpty() ? hint
                                               : QStringLiteral("%1 (%2)").arg(hint, devices.join(QStringLiteral(", "))));
        });
    }
    s.settle->start();
}
