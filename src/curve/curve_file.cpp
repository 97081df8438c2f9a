// SPDX-License-Identifier: GPL-3.0-or-later
#include "curve/curve_file.h"

#include "platform/ini_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>

std::string CurveKeyName(CurveKey key)
{
    if (key.Point == 0)
        return "Count";
    char name[16];
    std::snprintf(name, sizeof name, "Pt%02d%c", key.Point, key.Axis == PointAxis::In ? 'a' : 'b');
    return name;
}

namespace {

// Sets the 19 keys of the curve in `document`; false when one cannot be stored.
bool StoreCurve(TIniDocument& document, const CurvePoints& points)
{
    bool stored = document.Set(CurveSection, CurveKeyName({0, PointAxis::In}), std::to_string(points.Count));
    for (int k = 1; k <= EndPoint; ++k) {
        const auto index = static_cast<std::size_t>(k - 1);
        stored = stored
            && document.Set(CurveSection, CurveKeyName({k, PointAxis::In}), std::to_string(points.In[index]))
            && document.Set(CurveSection, CurveKeyName({k, PointAxis::Out}), std::to_string(points.Out[index]));
    }
    return stored;
}

} // namespace

void WriteCurveFile(const std::string& path, const CurvePoints& given)
{
    const CurvePoints points = ClampCurvePoints(given);
    TIniFile(path).Update([&points](TIniDocument& document) { return StoreCurve(document, points); });
}

std::string CurveFileBytes(const CurvePoints& points)
{
    TIniDocument document;
    StoreCurve(document, ClampCurvePoints(points));
    return document.Bytes();
}

void ReadCurveFile(const std::string& path, const std::function<void(CurveKey key, int value)>& assign)
{
    // One reading of the file: a save running meanwhile is seen whole or not at all.
    const TIniDocument document = TIniFile(path).ReadDocument();
    const auto readAndAssign = [&](CurveKey key) {
        const std::optional<std::string> text = document.Find(CurveSection, CurveKeyName(key));
        assign(key, ParseIniInteger(text.value_or(std::string())).value_or(0));
    };
    readAndAssign({0, PointAxis::In});
    for (int k = 1; k < EndPoint; ++k) {
        readAndAssign({k, PointAxis::In});
        readAndAssign({k, PointAxis::Out});
    }
    // The end point's In stays at 127 whatever the file holds.
    readAndAssign({EndPoint, PointAxis::Out});
}

CurvePoints ReadCurvePoints(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        throw EIniFileError("Impossible de lire " + path + " : fichier introuvable");
    CurvePoints points = DefaultCurvePoints;
    ReadCurveFile(path, [&](CurveKey key, int value) {
        if (key.Point == 0)
            points.Count = value;
        else if (key.Axis == PointAxis::In)
            points.In[key.Point - 1] = value;
        else
            points.Out[key.Point - 1] = value;
    });
    return ClampCurvePoints(points);
}

CurvePoints ReadCompleteCurvePoints(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        throw EIniFileError("Impossible de lire " + path + " : fichier introuvable");
    const TIniDocument document = TIniFile(path).ReadDocument();
    const auto number = [&](CurveKey key) {
        return ParseIniInteger(document.Find(CurveSection, CurveKeyName(key)).value_or(std::string()));
    };
    const auto required = [&](CurveKey key) {
        if (!number(key))
            throw EIniFileError("Courbe incomplète dans " + path + " : " + CurveKeyName(key) + " manque");
    };
    required({0, PointAxis::In});
    const int count = std::clamp(static_cast<int>(*number({0, PointAxis::In})), 0, MaxPointCount);
    for (int k = 1; k <= count; ++k) {
        required({k, PointAxis::In});
        required({k, PointAxis::Out});
    }
    required({EndPoint, PointAxis::Out});
    // Read as the window reads a file, from the same reading.
    CurvePoints points = DefaultCurvePoints;
    points.Count = number({0, PointAxis::In}).value_or(0);
    for (int k = 1; k < EndPoint; ++k) {
        points.In[k - 1] = number({k, PointAxis::In}).value_or(0);
        points.Out[k - 1] = number({k, PointAxis::Out}).value_or(0);
    }
    points.Out[EndPoint - 1] = number({EndPoint, PointAxis::Out}).value_or(0);
    return ClampCurvePoints(points);
}
