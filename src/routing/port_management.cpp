// SPDX-License-Identifier: GPL-3.0-or-later
// The program's two ports: creation, device lists, selection, opening and
// closing, with the port state shown on the window's status shapes. The
// ports' own errors are swallowed here: a port's state shows only on its
// shape. Other errors go on to the error report.
#include "routing/midi_routing.h"

#include "routing/waits.h"

#include <QTimer>

#include <algorithm>

namespace {

constexpr std::uint16_t InputCapacity = 1024;
constexpr std::uint16_t InputSysexBufferCount = 16;
constexpr std::uint16_t InputSysexBufferSize = 63999;

const char* const InputOpenHint = "Port MidiIn ouvert";
const char* const InputClosedHint = "Port MidiIn fermé";
const char* const OutputOpenHint = "Port MidiOut ouvert";
const char* const OutputClosedHint = "Port MidiOut fermé";

// Runs f and drops the errors the ports raise on purpose (every one of the
// program's own, which their shapes then show). Anything else, such as a
// lack of memory or a broken assumption, goes on to the error report.
template <class F>
void IgnoringPortErrors(F&& f)
{
    try {
        f();
    } catch (const Exception&) {
    }
}

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
        SetInputOpen(false);
        MidiIn.reset();
    }
    if (MidiOut) {
        SetOutputOpen(false);
        MidiOut.reset();
    }
}

void TMidiRouting::FillDeviceLists()
{
    FillInputList();
    FillOutputList();
}

void TMidiRouting::FillInputList()
{
    if (View)
        View->ClearDeviceList(TPortSide::Input);
    if (!MidiIn)
        return;
    std::vector<std::string> names;
    GetInputNames(names);
    if (View && !names.empty())
        View->FillDeviceList(TPortSide::Input, names, DefaultChoice(TPortSide::Input, names));
    MidiIn->OnMidiInput = [this](TMidiIO* sender) {
        // Run inside a port's opening wait, an error ends that opening rather
        // than reaching the application's report from within the wait.
        try {
            MidiInMidiInput(sender);
        } catch (...) {
            // Inside a port's opening wait the error ends that opening;
            // anywhere else it is reported, never thrown through the
            // notification's signal.
            if (!PassErrorToDelay(std::current_exception()) && View)
                View->ReportError(std::current_exception());
        }
    };
    MidiIn->OnOverflow = [this](TMidiIO* sender) { MidiInOverflow(sender); };
}

void TMidiRouting::FillOutputList()
{
    if (View)
        View->ClearDeviceList(TPortSide::Output);
    if (!MidiOut)
        return;
    std::vector<std::string> names;
    GetOutputNames(names);
    if (View && !names.empty())
        View->FillDeviceList(TPortSide::Output, names, DefaultChoice(TPortSide::Output, names));
}

void TMidiRouting::GetInputNames(std::vector<std::string>& List)
{
    const WaitCursor cursor(View);
    List.clear();
    OtherCopies[Index(TPortSide::Input)].clear();
    for (std::uint32_t device = 0; device < MidiIn->NumDevs(); ++device) {
        // An input whose capabilities cannot be read is left out.
        IgnoringPortErrors([&] {
            MidiIn->SetDeviceID(device);
            List.push_back(MidiIn->ProductName());
            if (midiInIsOtherCopy(device))
                OtherCopies[Index(TPortSide::Input)].push_back(List.back());
        });
    }
}

void TMidiRouting::GetOutputNames(std::vector<std::string>& List)
{
    const WaitCursor cursor(View);
    List.clear();
    OtherCopies[Index(TPortSide::Output)].clear();
    for (std::uint32_t device = 0; device < MidiOut->NumDevs(); ++device) {
        MidiOut->SetDeviceID(device);
        List.push_back(MidiOut->ProductName());
        if (midiOutIsOtherCopy(device))
            OtherCopies[Index(TPortSide::Output)].push_back(List.back());
    }
}

std::size_t TMidiRouting::DefaultChoice(TPortSide Side, const std::vector<std::string>& Names) const
{
    const std::vector<std::string>& copies = OtherCopies[Index(Side)];
    const auto first = std::find_if(Names.begin(), Names.end(), [&](const std::string& name) {
        return std::find(copies.begin(), copies.end(), name) == copies.end();
    });
    return static_cast<std::size_t>(first - Names.begin());
}

void TMidiRouting::SetInputOpen(bool Open)
{
    if (!ShuttingDown && View)
        IgnoringPortErrors([&] { View->ShowPortColour(TPortSide::Input, false); });
    if (!MidiIn)
        return;
    IgnoringPortErrors([&] {
        if (Open) {
            MidiIn->OpenAndStart();
            ConnectThru();
            DelayMs(Waits.OpenSettleMs, true);
            if (!ShuttingDown && View) {
                View->ShowPortColour(TPortSide::Input, true);
                View->ShowPortHint(TPortSide::Input, InputOpenHint);
            }
        } else {
            DisconnectThru();
            MidiIn->Stop();
            MidiIn->Close();
            if (!ShuttingDown && View) {
                View->ShowPortColour(TPortSide::Input, false);
                View->ShowPortHint(TPortSide::Input, InputClosedHint);
            }
        }
    });
}

void TMidiRouting::SetOutputOpen(bool Open)
{
    if (!ShuttingDown && View)
        IgnoringPortErrors([&] { View->ShowPortColour(TPortSide::Output, false); });
    if (!MidiOut)
        return;
    IgnoringPortErrors([&] {
        if (Open) {
            const bool opened = MidiOut->Open();
            ConnectThru();
            DelayMs(Waits.OpenSettleMs, true);
            if (!ShuttingDown && View) {
                View->ShowPortColour(TPortSide::Output, opened);
                View->ShowPortHint(TPortSide::Output, opened ? OutputOpenHint : OutputClosedHint);
            }
        } else {
            DisconnectThru();
            MidiOut->Close();
            if (!ShuttingDown && View) {
                View->ShowPortColour(TPortSide::Output, false);
                View->ShowPortHint(TPortSide::Output, OutputClosedHint);
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

bool TMidiRouting::SelectInputByName(const std::string& Name)
{
    bool found = false;
    IgnoringPortErrors([&] {
        MidiIn->SetProductName(Name);
        found = true;
    });
    return found;
}

bool TMidiRouting::SelectOutputByName(const std::string& Name)
{
    bool found = false;
    IgnoringPortErrors([&] {
        MidiOut->SetProductName(Name);
        found = true;
    });
    return found;
}

void TMidiRouting::cbMIDIInChange()
{
    if (!MidiIn)
        return;
    ChoosePort(TPortSide::Input, View ? View->SelectedDevice(TPortSide::Input) : std::string());
}

void TMidiRouting::cbMIDIOutChange()
{
    if (!MidiOut)
        return;
    ChoosePort(TPortSide::Output, View ? View->SelectedDevice(TPortSide::Output) : std::string());
}
