// SPDX-License-Identifier: GPL-3.0-or-later
// The program's two ports: creation, device lists, selection, opening and
// closing, with the port state shown on the window's status shapes. The
// ports' own errors are swallowed here: a port's state shows only on its
// shape. Other errors go on to the error report.
#include "routing/midi_routing.h"

#include "routing/port_errors.h"
#include "routing/port_hints.h"
#include "routing/side_ports.h"
#include "routing/waits.h"

#include <QTimer>

#include <algorithm>
#include <exception>
#include <type_traits>

namespace {

constexpr std::uint16_t InputCapacity = 1024;
constexpr std::uint16_t InputSysexBufferCount = 16;
constexpr std::uint16_t InputSysexBufferSize = 63999;

// Restores the default cursor however the listing ends.
class WaitCursor {
public:
    explicit WaitCursor(IRoutingView* view)
        : view(view)
    {
        if (view)
            view->ShowWaitCursor(true);
    }
    ~WaitCursor()
    {
        if (view)
            view->ShowWaitCursor(false);
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    IRoutingView* view;
};

} // namespace

TMidiRouting::TMidiRouting()
{
    // Values pass unchanged until a table is published.
    for (std::size_t i = 0; i < Table.size(); ++i)
        Table[i] = static_cast<std::uint8_t>(i);
}

TMidiRouting::~TMidiRouting() = default;

void TMidiRouting::AttachView(IRoutingView* view)
{
    View = view;
}

void TMidiRouting::CreateMidiPorts()
{
    try {
        auto input = std::make_unique<TMidiInput>();
        input->SetCapacity(InputCapacity);
        input->SetSysexBufferCount(InputSysexBufferCount);
        input->SetSysexBufferSize(InputSysexBufferSize);
        // Active sensing is dropped; the timing clock passes.
        input->SetFilteredMessages(TMidiMsgFilter{msgActiveSensing});
        input->OnDeviceLost = [this](TMidiIO*) { PortLost(TPortSide::Input); };
        MidiIn = std::move(input);
    } catch (const Exception&) {
        MidiIn.reset();
    }
    try {
        MidiOut = std::make_unique<TMidiOutput>();
        MidiOut->OnDeviceLost = [this](TMidiIO*) { PortLost(TPortSide::Output); };
    } catch (const Exception&) {
        MidiOut.reset();
    }
    WatchDevices(true);
}

void TMidiRouting::FreeMidiPorts()
{
    ShuttingDown = true;
    WatchDevices(false);
    if (MidiIn) {
        SetPortOpen(TPortSide::Input, false);
        MidiIn.reset();
    }
    if (MidiOut) {
        SetPortOpen(TPortSide::Output, false);
        MidiOut.reset();
    }
}

TMidiIO* TMidiRouting::Port(TPortSide Side) const
{
    if (Side == TPortSide::Input)
        return MidiIn.get();
    return MidiOut.get();
}

void TMidiRouting::FillDeviceLists()
{
    FillDeviceList(TPortSide::Input);
    FillDeviceList(TPortSide::Output);
}

void TMidiRouting::FillDeviceList(TPortSide Side)
{
    if (View)
        View->ClearDeviceList(Side);
    if (!Port(Side))
        return;
    std::vector<std::string> names;
    GetDeviceNames(Side, names);
    std::size_t chosen = DefaultChoice(Side, names);
    // In a graph the first entry stands for no connection, chosen when no
    // device is.
    if (MidiGraphAvailable()) {
        names.insert(names.begin(), NoDeviceEntry);
        chosen = chosen + 1 < names.size() ? chosen + 1 : 0;
    }
    if (View && !names.empty())
        View->FillDeviceList(Side, names, chosen);
    if (Side == TPortSide::Input)
        ListenToInput();
}

void TMidiRouting::ListenToInput()
{
    MidiIn->OnMidiInput = [this](TMidiIO* sender) {
        try {
            MidiInMidiInput(sender);
        } catch (...) {
            // Inside a port's opening wait the error ends that wait;
            // anywhere else it is reported, never thrown through the
            // notification's signal.
            if (!PassErrorToDelay(std::current_exception()) && View)
                View->ReportError(std::current_exception());
        }
    };
    MidiIn->OnOverflow = [this](TMidiIO* sender) { MidiInOverflow(sender); };
}

void TMidiRouting::GetDeviceNames(TPortSide Side, std::vector<std::string>& List)
{
    const WaitCursor cursor(View);
    List.clear();
    std::vector<std::string>& copies = OtherCopies[Index(Side)];
    copies.clear();
    WithPort(Side, [&](auto& port) {
        for (std::uint32_t device = 0; device < port.NumDevs(); ++device) {
            const auto add = [&] {
                port.SetDeviceID(device);
                List.push_back(port.ProductName());
                if (IsOtherCopy(port, device))
                    copies.push_back(List.back());
            };
            // An input whose capabilities cannot be read is left out; an
            // output's error ends the listing.
            if (Side == TPortSide::Input)
                IgnoringPortErrors(add);
            else
                add();
        }
    });
}

std::size_t TMidiRouting::DefaultChoice(TPortSide Side, const std::vector<std::string>& Names) const
{
    const std::vector<std::string>& copies = OtherCopies[Index(Side)];
    const auto first = std::find_if(Names.begin(), Names.end(), [&](const std::string& name) {
        return std::find(copies.begin(), copies.end(), name) == copies.end();
    });
    return static_cast<std::size_t>(first - Names.begin());
}

void TMidiRouting::SetPortOpen(TPortSide Side, bool Open, const std::function<void()>& Opened)
{
    if (!ShuttingDown && View)
        IgnoringPortErrors([&] { View->ShowPortColour(Side, false); });
    if (!Port(Side))
        return;
    IgnoringPortErrors([&] {
        if (Open) {
            const bool opened = WithPort(Side, [](auto& port) { return OpenDevice(port); });
            ConnectThru();
            if (opened && Opened)
                Opened();
            // An error of a handler that ran during the wait ends the wait,
            // not the port: the shape still tells what the port is.
            std::exception_ptr waitError;
            try {
                DelayMs(Waits.OpenSettleMs, true);
            } catch (...) {
                waitError = std::current_exception();
            }
            if (!ShuttingDown && View) {
                View->ShowPortColour(Side, opened);
                View->ShowPortHint(Side, opened ? OpenHints[Index(Side)] : ClosedHints[Index(Side)]);
            }
            if (waitError)
                std::rethrow_exception(waitError);
        } else {
            DisconnectThru();
            WithPort(Side, [](auto& port) { CloseDevice(port); });
            if (!ShuttingDown && View) {
                View->ShowPortColour(Side, false);
                View->ShowPortHint(Side, ClosedHints[Index(Side)]);
            }
        }
    });
}

void TMidiRouting::ConnectThru()
{
    if (MidiIn && MidiOut && !ShuttingDown)
        Thru.Connect(*MidiIn, *MidiOut);
}

void TMidiRouting::DisconnectThru()
{
    Thru.Disconnect();
}

bool TMidiRouting::SelectDeviceByName(TPortSide Side, const std::string& Name)
{
    bool found = false;
    IgnoringPortErrors([&] {
        WithPort(Side, [&](auto& port) { port.SetProductName(Name); });
        found = true;
    });
    return found;
}

void TMidiRouting::ChooseDevice(TPortSide Side)
{
    if (!Port(Side))
        return;
    const std::string name = View ? View->SelectedDevice(Side) : std::string();
    TSideState& state = Sides[Index(Side)];
    // The entry that stands for several connections chooses nothing.
    if (state.OnGraph && !state.ManyEntry.empty() && name == state.ManyEntry) {
        ShowConnections(Side, WithPort(Side, [](auto& port) { return std::remove_cvref_t<decltype(port)>::DeviceNames(); }));
        return;
    }
    // A port already on the graph is given that device alone; one that
    // opens there only adds it to what is connected.
    ChoosePort(Side, name, state.OnGraph);
}

void TMidiRouting::AddChosenDevice(TPortSide Side)
{
    if (Port(Side))
        ChoosePort(Side, View ? View->SelectedDevice(Side) : std::string(), false);
}
