// SPDX-License-Identifier: GPL-3.0-or-later
// File names as bytes: every name reads back to its own bytes, also one that
// is not UTF-8, and a UTF-8 name reads as its plain text.
#include "platform/file_name.h"

#include <gtest/gtest.h>

namespace {

TEST(FileName, EveryNameReadsBackToItsOwnBytes)
{
    struct Case {
        QByteArray bytes;
        bool utf8;
    };
    const Case cases[] = {
        {"", true},
        {"piano.dat", true},
        {"/home/élise/courbes/doux ♪.dat", true},
        {"\xf0\x9f\x8e\xb9 clavier.dat", true},           // outside the basic plane
        {"caf\xff" "e.dat", false},                        // Latin-1 from another locale
        {"caf\xe9.dat", false},                            // a lead byte with no continuation
        {"\xc0\xaf.dat", false},                           // an overlong '/'
        {"\xed\xa0\x80.dat", false},                       // an encoded surrogate
        {"\xf4\x90\x80\x80", false},                       // past U+10FFFF
        {"\xf0\x9f\x8e\xb9\xff\xf0\x9f\x8e", false},       // valid, stray, cut short
        {QByteArray("a\x80\x81\xfe\xff" "b", 6), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.toHex().toStdString());
        const QString name = DecodeFileName(c.bytes);
        EXPECT_EQ(EncodeFileName(name), c.bytes);
        EXPECT_EQ(IsValidUtf8Name(name), c.utf8);
        if (c.utf8) {
            EXPECT_EQ(name, QString::fromUtf8(c.bytes));
        }
    }
}

} // namespace
