// SPDX-License-Identifier: GPL-3.0-or-later
// Saves test curves into one file, in turn:
//
//   curve_save_loop [-n ROUNDS] FILE CURVE...
//
// Each CURVE is a number of SavedCurves. Without -n it saves for ever, until
// it is killed. Says "saving" on its standard output once the first round is
// done, so that a test kills it in the middle of later saves. A failed save
// ends it with the error's text on its standard error and status 1.
#include "curve/curve_file.h"
#include "interrupted_save_curves.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const auto usage = [&] {
        std::fprintf(stderr, "usage: %s [-n ROUNDS] FILE CURVE...\n", argv[0]);
        return 2;
    };
    long rounds = -1;
    int file = 1;
    if (argc > 2 && std::string(argv[1]) == "-n") {
        rounds = std::strtol(argv[2], nullptr, 10);
        file = 3;
    }
    if (rounds == 0 || argc <= file + 1)
        return usage();
    std::vector<const CurvePoints*> curves;
    for (int i = file + 1; i < argc; ++i) {
        const unsigned long index = std::strtoul(argv[i], nullptr, 10);
        if (index >= SavedCurves.size())
            return usage();
        curves.push_back(&SavedCurves[index]);
    }
    try {
        for (long round = 0; rounds < 0 || round < rounds; ++round) {
            for (const CurvePoints* curve : curves)
                WriteCurveFile(argv[file], *curve);
            if (round == 0) {
                std::puts("saving");
                std::fflush(stdout);
            }
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
