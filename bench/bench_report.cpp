// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench_report.h"

#include <cstdio>

namespace {

void Print(const std::string& what, bool met, const std::string& figure, const std::string& note)
{
    std::printf("TARGET %-58s %-34s %s%s%s\n", (what + ":").c_str(), figure.c_str(), met ? "met" : "MISSED",
                note.empty() ? "" : "  ", note.empty() ? "" : ("[" + note + "]").c_str());
    std::fflush(stdout);
}

std::string Figure(double value, const char* relation, double limit, const char* unit)
{
    char text[128];
    std::snprintf(text, sizeof text, "%.3g %s (target %s %.3g)", value, unit, relation, limit);
    return text;
}

} // namespace

void ReportUpperTarget(const std::string& what, double value, double limit, const char* unit,
                       const std::string& note)
{
    Print(what, value <= limit, Figure(value, "<=", limit, unit), note);
}

void ReportLowerTarget(const std::string& what, double value, double limit, const char* unit,
                       const std::string& note)
{
    Print(what, value >= limit, Figure(value, ">=", limit, unit), note);
}

void ReportTarget(const std::string& what, bool met, const std::string& figure, const std::string& note)
{
    Print(what, met, figure, note);
}
