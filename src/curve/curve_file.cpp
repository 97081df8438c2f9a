#include "curve/curve_file.h"

#include "platform/ini_file.h"

#include <sys/stat.h>

#include <cstdio>

std::string CurveKeyName(CurveKey key)
{
    if (key.Point == 0)
        return "Count";
    char name[16];
    std::snprintf(name, sizeof name, "Pt%02d%c", key.Point, key.Axis == PointAxis::In ? 'a' : 'b');
    return name;
}

void WriteCurveFile(const std::string& path, const CurvePoints& given)
{
    const CurvePoints points = ClampCurvePoints(given);
    TIniFile ini(path);
    ini.WriteInteger(CurveSection, CurveKeyName({0, PointAxis::In}), points.Count);
    for (int k = 1; k <= EndPoint; ++k) {
        ini.WriteInteger(CurveSection, CurveKeyName({k, PointAxis::In}), points.In[k - 1]);
        ini.WriteInteger(CurveSection, CurveKeyName({k, PointAxis::Out}), points.Out[k - 1]);
    }
}

void ReadCurveFile(const std::string& path, const std::function<void(CurveKey key, int value)>& assign)
{
    const TIniFile ini(path);
    const auto readAndAssign = [&](CurveKey key) {
        assign(key, ini.ReadInteger(CurveSection, CurveKeyName(key), 0));
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
