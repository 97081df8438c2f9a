// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <exception>
#include <functional>

// The application's default error report: the text of an error that leaves an
// event handler or the start-up sequence is shown, and the program runs on.

using ErrorSink = std::function<void(const QString& text)>;

// Where reports go: a message box in the program, a recorder in tests.
void SetErrorSink(ErrorSink sink);

// Shows one error. While a report is on screen (its box runs a nested event
// loop in which MIDI keeps flowing), further reports are dropped instead of
// piling one modal box on another.
void ReportError(const QString& text);

// The text of the exception being handled, for the report.
QString CurrentExceptionText();

// Runs f; an exception that leaves it is reported. True when f completed.
template <class F>
bool RunGuarded(F&& f)
{
    try {
        f();
        return true;
    } catch (...) {
        ReportError(CurrentExceptionText());
        return false;
    }
}
