// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/error_report.h"

#include <utility>

namespace {

ErrorSink& Sink()
{
    static ErrorSink sink;
    return sink;
}

bool reportOnScreen = false;

} // namespace

void SetErrorSink(ErrorSink sink)
{
    Sink() = std::move(sink);
}

void ReportError(const QString& text)
{
    if (reportOnScreen || !Sink())
        return;
    reportOnScreen = true;
    try {
        Sink()(text);
    } catch (...) {
        reportOnScreen = false;
        throw;
    }
    reportOnScreen = false;
}

QString CurrentExceptionText()
{
    try {
        throw;
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}
