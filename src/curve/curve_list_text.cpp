// SPDX-License-Identifier: GPL-3.0-or-later
#include "curve/curve_list_text.h"

#include "curve/curve_fit.h"
#include "curve/preset_curves.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <utility>
#include <vector>

namespace {

const std::string FormHint = "Pas une courbe : le texte attendu a la forme [0, 40, 90, 127; 0, 30, 100, 127].";

[[noreturn]] void Refuse(const std::string& why)
{
    throw ECurveTextError("Pas une courbe : " + why);
}

std::string Trimmed(const std::string& text)
{
    const auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    auto begin = std::find_if_not(text.begin(), text.end(), isSpace);
    auto end = std::find_if_not(text.rbegin(), std::string::const_reverse_iterator(begin), isSpace).base();
    return std::string(begin, end);
}

// The whole numbers of a comma-separated list; an empty list has none.
std::vector<int> ReadValues(const std::string& list)
{
    std::vector<int> values;
    if (Trimmed(list).empty())
        return values;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = list.find(',', start);
        const std::string item = Trimmed(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        const bool negative = !item.empty() && item[0] == '-';
        const std::string digits = negative ? item.substr(1) : item;
        if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c) != 0; }))
            Refuse("la valeur « " + item + " » n'est pas un nombre entier.");
        // Read no more digits than a value in range has, after its leading zeros.
        const std::size_t significant = std::min(digits.find_first_not_of('0'), digits.size());
        const int value = digits.size() - significant > 3 ? MaxPointValue + 1 : std::stoi(digits);
        if (negative || value > MaxPointValue)
            Refuse("la valeur " + item + " sort de 0 à 127.");
        values.push_back(value);
        if (comma == std::string::npos)
            return values;
        start = comma + 1;
    }
}

// The line through the listed values, level before the first and after the
// last; where inputs repeat, the later value holds from there on.
TargetCurve LineThrough(const std::vector<std::pair<int, int>>& list)
{
    TargetCurve line{};
    for (int x = 0; x < 128; ++x) {
        double y = list.front().second;
        for (std::size_t k = 0; k < list.size(); ++k) {
            if (list[k].first <= x)
                y = list[k].second;
            if (list[k].first > x) {
                if (k > 0 && list[k - 1].first <= x) {
                    const auto [x0, y0] = list[k - 1];
                    const auto [x1, y1] = list[k];
                    y = y0 + double(y1 - y0) * (x - x0) / (x1 - x0);
                }
                break;
            }
        }
        line[static_cast<std::size_t>(x)] = y;
    }
    return line;
}

} // namespace

std::string CurveListText(const CurvePoints& given)
{
    const CurvePoints points = ClampCurvePoints(given);
    std::vector<std::pair<int, int>> list{{0, 0}};
    for (int k = 0; k < points.Count; ++k)
        list.emplace_back(points.In[static_cast<std::size_t>(k)], points.Out[static_cast<std::size_t>(k)]);
    list.emplace_back(MaxPointValue, points.Count == 0 ? MaxPointValue : points.Out[EndPoint - 1]);
    std::string ins, outs;
    for (const auto& [in, out] : list) {
        ins += (ins.empty() ? "" : ", ") + std::to_string(in);
        outs += (outs.empty() ? "" : ", ") + std::to_string(out);
    }
    return "[" + ins + "; " + outs + "]";
}

CurveFromText ParseCurveListText(const std::string& text)
{
    std::string form = Trimmed(text);
    const std::string prefix = "velocity";
    if (form.size() >= prefix.size()
        && std::equal(prefix.begin(), prefix.end(), form.begin(),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); })) {
        form = Trimmed(form.substr(prefix.size()));
        if (form.empty() || form[0] != '=')
            throw ECurveTextError(FormHint);
        form = Trimmed(form.substr(1));
    }
    if (form.size() < 2 || form.front() != '[' || form.back() != ']')
        throw ECurveTextError(FormHint);
    const std::string inside = form.substr(1, form.size() - 2);
    const std::size_t semicolon = inside.find(';');
    if (semicolon == std::string::npos || inside.find(';', semicolon + 1) != std::string::npos)
        throw ECurveTextError(FormHint);
    const std::vector<int> ins = ReadValues(inside.substr(0, semicolon));
    const std::vector<int> outs = ReadValues(inside.substr(semicolon + 1));
    if (ins.empty() || outs.empty())
        Refuse("une des deux listes est vide.");
    if (ins.size() != outs.size())
        Refuse(std::to_string(ins.size()) + " entrées pour " + std::to_string(outs.size()) + " sorties.");
    for (std::size_t k = 1; k < ins.size(); ++k) {
        if (ins[k] < ins[k - 1])
            Refuse("les entrées descendent (" + std::to_string(ins[k - 1]) + " puis " + std::to_string(ins[k]) + ").");
    }

    std::vector<std::pair<int, int>> list;
    for (std::size_t k = 0; k < ins.size(); ++k)
        list.emplace_back(ins[k], outs[k]);
    std::vector<std::pair<int, int>> inner = list;
    if (inner.front() == std::pair{0, 0})
        inner.erase(inner.begin());
    int endOut = list.back().second;
    if (!inner.empty() && inner.back().first == MaxPointValue)
        inner.pop_back();

    const bool tooMany = static_cast<int>(inner.size()) > MaxPointCount;
    // No point between the ends: the identity has no point in use; any other
    // line is drawn by points fitted to it.
    if (inner.empty() && endOut == MaxPointValue)
        return {PresetCurvePoints(PresetCurves.front()), false};
    if (tooMany || inner.empty())
        return {FitCurvePoints(LineThrough(list), 1, MaxPointValue), tooMany};

    CurvePoints points{};
    points.Count = static_cast<int>(inner.size());
    points.In.fill(MaxPointValue);
    points.Out.fill(endOut);
    for (std::size_t k = 0; k < inner.size(); ++k) {
        points.In[k] = inner[k].first;
        points.Out[k] = inner[k].second;
    }
    return {points, false};
}
