// Saves the two test curves into one file in turn, for ever, until it is
// killed. Says "saving" on its standard output once the first save is done,
// so that the test kills it in the middle of later saves.
#include "curve/curve_file.h"
#include "interrupted_save_curves.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    try {
        WriteCurveFile(argv[1], SecondSavedCurve);
        std::puts("saving");
        std::fflush(stdout);
        for (;;) {
            WriteCurveFile(argv[1], FirstSavedCurve);
            WriteCurveFile(argv[1], SecondSavedCurve);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
