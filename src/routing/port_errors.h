// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/exception.h"

// Runs f and drops the errors the ports raise on purpose (every one of the
// program's own, which their shapes then show). Anything else, such as a
// lack of memory or a broken assumption, goes on to the error report.
template <class F>
void IgnoringPortErrors(F&& f)
{
    try {
        f();
    } catch (const Exception&) {
    }
}
