// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the main window hands over while a session manager runs the
// program: its file actions, its close, and each change of its curve.
class ISessionActions {
public:
    virtual ~ISessionActions() = default;
    // "Importer dans la session…": a chosen curve becomes the session's.
    virtual void ImportIntoSession() = 0;
    // "Sauver": the session's files, without a dialog.
    virtual void SaveSession() = 0;
    // "Exporter…": a copy of the curve elsewhere.
    virtual void ExportCurve() = 0;
    // "Quitter" and the window's close: the window is hidden, the program runs on.
    virtual void CloseWindow() = 0;
    // The curve has just been rebuilt from the sliders.
    virtual void CurveChanged() = 0;
};
