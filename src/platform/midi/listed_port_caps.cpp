#include "platform/midi/listed_port_caps.h"

#include "platform/midi/port_name.h"

namespace {

constexpr WORD UnknownMaker = 0xFFFF;
constexpr WORD UnknownProduct = 0xFFFF;
constexpr DWORD DriverVersion = 0x0100; // 1.0
constexpr WORD AllChannels = 0xFFFF;

} // namespace

MMRESULT listedInputCaps(const std::vector<ListedPort>& ports, unsigned device, MIDIINCAPSW& caps)
{
    if (device >= ports.size())
        return MMSYSERR_BADDEVICEID;
    caps = MIDIINCAPSW{};
    caps.wMid = UnknownMaker;
    caps.wPid = UnknownProduct;
    caps.vDriverVersion = DriverVersion;
    copyPortName(ports[device].name, caps.szPname);
    return MMSYSERR_NOERROR;
}

MMRESULT listedOutputCaps(const std::vector<ListedPort>& ports, unsigned device, MIDIOUTCAPSW& caps)
{
    if (device >= ports.size())
        return MMSYSERR_BADDEVICEID;
    caps = MIDIOUTCAPSW{};
    caps.wMid = UnknownMaker;
    caps.wPid = UnknownProduct;
    caps.vDriverVersion = DriverVersion;
    copyPortName(ports[device].name, caps.szPname);
    caps.wTechnology = MOD_MIDIPORT;
    caps.wChannelMask = AllChannels;
    return MMSYSERR_NOERROR;
}

PortKind listedKind(const std::vector<ListedPort>& ports, unsigned device)
{
    return device < ports.size() ? ports[device].kind : PortKind::Program;
}
