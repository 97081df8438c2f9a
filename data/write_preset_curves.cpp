// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the ready-made curves, as the menu gives them, into the folder named
// on the command line: one curve file each, under its file name.
#include "curve/curve_file.h"
#include "curve/preset_curves.h"

#include <cstdio>
#include <exception>
#include <filesystem>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_preset_curves FOLDER\n");
        return 2;
    }
    try {
        const std::filesystem::path folder(argv[1]);
        std::filesystem::create_directories(folder);
        for (const PresetCurve& preset : PresetCurves) {
            const std::filesystem::path file = folder / preset.FileName;
            std::filesystem::remove(file); // written whole, never over an older curve's other keys
            WriteCurveFile(file.string(), PresetCurvePoints(preset));
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "write_preset_curves: %s\n", error.what());
        return 1;
    }
    return 0;
}
