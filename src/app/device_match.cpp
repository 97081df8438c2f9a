// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/device_match.h"

#include <QString>

#include <algorithm>

TDeviceMatch MatchDeviceName(const std::vector<std::string>& names, const std::string& wanted)
{
    TDeviceMatch match;
    if (std::find(names.begin(), names.end(), wanted) != names.end()) {
        match.Kind = TDeviceMatch::TKind::Found;
        match.Name = wanted;
        return match;
    }
    const QString part = QString::fromStdString(wanted);
    for (const std::string& name : names) {
        if (!part.isEmpty() && QString::fromStdString(name).contains(part, Qt::CaseInsensitive))
            match.Candidates.push_back(name);
    }
    if (match.Candidates.size() == 1) {
        match.Kind = TDeviceMatch::TKind::Found;
        match.Name = match.Candidates.front();
    } else if (match.Candidates.size() > 1) {
        match.Kind = TDeviceMatch::TKind::Ambiguous;
    }
    return match;
}
