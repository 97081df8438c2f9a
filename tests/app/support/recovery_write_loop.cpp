// SPDX-License-Identifier: GPL-3.0-or-later
// Writes recovery files into one folder, one after the other:
//
//   recovery_write_loop FOLDER ROUNDS
//
// Prints the path of each file written on its standard output, one a line;
// a failed write ends it with the error's text on its standard error and
// status 1. Lets a test run the writes as another user.
#include "app/recovery_file.h"

#include <QFile>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <exception>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FOLDER ROUNDS\n", argv[0]);
        return 2;
    }
    const QString folder = QFile::decodeName(argv[1]);
    const long rounds = std::strtol(argv[2], nullptr, 10);
    CurvePoints points = DefaultCurvePoints;
    points.Out[0] = 33;
    try {
        for (long round = 0; round < rounds; ++round) {
            std::printf("%s\n", QFile::encodeName(WriteRecoveryFile(folder, points)).constData());
            std::fflush(stdout);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
