// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/midi_io.h"

TMidiIO::TMidiIO()
    : FSelf(std::make_shared<TMidiIO*>(this)),
      FWindow(std::make_unique<NotificationWindow>([self = FSelf](TMessage& message) {
          if (*self)
              (*self)->WindowMessage(message);
      }))
{
}

TMidiIO::~TMidiIO() = default;

void TMidiIO::DetachWindow() noexcept
{
    *FSelf = nullptr;
}

void TMidiIO::KeepWindowForLiveDevice() noexcept
{
    (void)FWindow.release();
}

std::string TMidiIO::PlatformErrorText(MMRESULT Code, MMRESULT (*getText)(MMRESULT, char*, UINT))
{
    char text[MAXERRORLENGTH] = {};
    if (getText(Code, text, MAXERRORLENGTH) == MMSYSERR_NOERROR)
        return std::string(text, ::strnlen(text, MAXERRORLENGTH));
    return "Specified error number is out of range";
}
