// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>
#include <string>

// Base of every error the program raises on purpose: a message text, shown
// as it stands by the application's error report.
class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
