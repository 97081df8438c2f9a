// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string>

// The curve's 128 values as text: fields "%.3d," in index order (no comma
// after the last), a CR after every eighth field; 527 characters for values
// 0 to 127.
std::string BuildCurveText(const std::array<int, 128>& values);

// `text` with its line breaks (CR, LF or CR LF) made CR LF: each line, the
// last one included, followed by CR LF; a final break starts no empty line.
std::string ClipboardCurveText(const std::string& text);
