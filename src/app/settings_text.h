// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How the settings file writes its values, in the INI form the program has
// always used (that of Qt's INI settings): a text that could be misread is
// quoted and escaped, a text starting with '@' is written with "@@", and
// true and false are "true" and "false". Pure, so that any text can be fed in.

#include <QString>

#include <optional>
#include <string>
#include <string_view>

// The text `value` holds, or nothing when it holds another kind of value
// (a list, or an "@..." value other than "@@", such as "@Variant(...)"),
// which the program never writes. A value cut short (an open quote, an
// escape at the end) reads as far as it goes.
std::optional<QString> DecodeSettingsText(std::string_view value);

// The value that DecodeSettingsText reads back as `text`.
std::string EncodeSettingsText(const QString& text);

// A value read as a yes or no: "", "0" and "false" (in any case) are no,
// any other text yes; nothing for a value that is not a text.
std::optional<bool> DecodeSettingsBool(std::string_view value);
