// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// File names are bytes; the program shows and handles them as text. A name
// that is not valid UTF-8 (written under another locale, or by a program
// that cares nothing for encodings) must still open, so its text keeps each
// byte that is not UTF-8 as the lone code unit U+DC80 + (byte - 0x80), which
// no UTF-8 text can hold, and turns back into that byte. Qt's own file
// functions would replace it: every path that reaches the system goes
// through EncodeFileName.

#include <QByteArray>
#include <QString>

// The text of a file name given as bytes.
QString DecodeFileName(const QByteArray& bytes);
// The bytes of a file name, the inverse of DecodeFileName.
QByteArray EncodeFileName(const QString& name);
// Whether the text came from bytes that are all valid UTF-8.
bool IsValidUtf8Name(const QString& name);
