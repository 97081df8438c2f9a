// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/midi/backends/port_name.h"

#include <cstring>

void copyPortName(std::string_view name, char (&target)[MAXPNAMELEN]) noexcept
{
    std::size_t count = name.size();
    if (count > MAXPNAMELEN - 1) {
        count = MAXPNAMELEN - 1;
        // Step back over continuation bytes (10xxxxxx) to the start of the
        // character that would be cut.
        while (count > 0 && (static_cast<unsigned char>(name[count]) & 0xC0) == 0x80)
            --count;
    }
    std::memcpy(target, name.data(), count);
    target[count] = '\0';
}
