// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/prompts.h"
#include "app/session_actions.h"
#include "curve/curve_points.h"
#include "curve/preset_curves.h"
#include "curve/transfer_table.h"
#include "routing/routing_view.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <vector>

class QAction;
class QCloseEvent;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QTimer;
class TMidiRouting;
class TCalibrationDialog;
class TChartSeries;
class TCurveChart;
class TLedIndicator;
class TStatusShape;
class TStepSlider;

// The main window: the curve editor, the MIDI selectors and lamps, the menus
// and the controller state. It is the only class that knows the widgets; its
// handlers read the controls, call the subsystem that does the work and show
// the result. It shows the MIDI routing's state through IRoutingView.
class TfmMain : public QMainWindow, private IRoutingView {
    Q_OBJECT

public:
    // Without routing the window has no MIDI side (the curve editor alone).
    explicit TfmMain(IPrompts& prompts, TMidiRouting* routing = nullptr, QWidget* parent = nullptr);
    ~TfmMain() override;

    // Controller state.
    QString AppDir;            // folder of the executable, with a trailing separator
    QString ReadmePath;        // the read-me: AppDir + "a_lire.txt", else the installed one
    QString CurrentCurveFile;  // last file loaded or saved; empty at start
    bool CurveModified = false; // the curve differs from the last file loaded or saved
    // Runs after each change of the points, and when CurveModified turns false.
    std::function<void()> OnCurveStateChange;
    bool CloseRequested = false; // the window is being closed: nothing is sent meanwhile (SetCloseRequested)
    ISessionActions* Session = nullptr; // under a session manager, the file actions and the close; else null

    // The curve.
    TTransferTable TransferTable{}; // incoming data value -> outgoing value
    bool CurveValid = true;         // In values of the points in use never decrease
    bool PointDragging = false;     // a point of the chart is being dragged
    int DraggedPoint = -1;          // selected point: -1 none, 0 origin, 1..9

    // Controls, named as on the form.
    TCurveChart* Chart1 = nullptr;
    TChartSeries* Series1 = nullptr; // the transfer table
    TChartSeries* Series2 = nullptr; // the control points
    QLabel* lblMidiValues = nullptr;
    QLabel* lblPtsCnt = nullptr;
    TStepSlider* tbPtsCnt = nullptr;
    std::array<TStepSlider*, 9> tbPtIn{};  // tbPt01a .. tbPt09a
    std::array<TStepSlider*, 9> tbPtOut{}; // tbPt01b .. tbPt09b
    QFrame* Bevel1 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* cbMIDIIn = nullptr;
    TStatusShape* shMidiIn = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* cbMIDIOut = nullptr;
    TStatusShape* shMidiOut = nullptr;
    TLedIndicator* LedMidiIn = nullptr;
    QLabel* Label4 = nullptr;
    TLedIndicator* LedMidiOut = nullptr;
    QLabel* Label3 = nullptr;
    TLedIndicator* LedMidiErr = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* lblMidiLastMsg = nullptr;
    QTimer* TimerMidiIn = nullptr;  // puts LedMidiIn out 100 ms after it was enabled
    QTimer* TimerMidiOut = nullptr; // puts LedMidiOut out 100 ms after it was enabled

    // Actions, menus and dialogs.
    QAction* ActGraphOpen = nullptr;
    QAction* ActGraphSave = nullptr;
    QAction* ActGraphSaveAs = nullptr;
    QAction* ActAppClose = nullptr;
    QAction* ActGraphCopyAsBitmap = nullptr;
    QAction* ActGraphCopyAsText = nullptr;
    QAction* ActAppHelpIndex = nullptr;
    QAction* ActAppReadme = nullptr;
    QAction* ActAppAbout = nullptr;
    QAction* ActMidiNotesOnly = nullptr; // checkable: only note messages go through the curve
    QAction* ActMidiPlayedVelocities = nullptr; // checkable: the chart shows the played velocities
    QAction* ActMidiResetVelocities = nullptr;
    QAction* ActMidiCalibrate = nullptr;
    QAction* ActCopyPlayedVelocities = nullptr;
    QAction* ActCopyCurveList = nullptr;
    QAction* ActPasteCurve = nullptr;
    std::vector<QAction*> ActPresetCurves; // one for each of PresetCurves, in its order
    QAction* ActFixedVelocity = nullptr;
    QTimer* PlayedVelocitiesFrame = nullptr; // holds the played velocities to ten redraws a second
    TCalibrationDialog* CalibrationDialog = nullptr; // while "Calibrer d'après le jeu…" is open
    QMenu* AdvPopupMenu1 = nullptr;
    FileDialogSpec OpenDialog1;
    FileDialogSpec SaveDialog1;

    // Start-up and close.
    void FormCreate();
    void FormCloseQuery(QObject* Sender, bool& CanClose);
    void SetCurrentCurveFile(const QString& Path);
    bool ConfirmSaveIfModified();
    // Sets CloseRequested and holds what the MIDI routing sends while it is set.
    void SetCloseRequested(bool Requested);

    // Actions.
    void ActGraphOpenExecute(QObject* Sender);
    // What "Ouvrir" does once a file is chosen: loads it and recomputes the curve.
    void OpenCurveFile(const QString& Path);
    // The curve file named on the command line, opened as "Ouvrir" opens a
    // chosen one; a path where no file exists raises an error instead of
    // being passed over in silence.
    void OpenCurveFileFromCommandLine(const QString& Path);
    void ActGraphSaveExecute(QObject* Sender);
    void ActGraphSaveAsExecute(QObject* Sender);
    void ActAppCloseExecute(QObject* Sender);

    // The curve.
    void tbPtsCntChange(TStepSlider* Sender);
    void tbPt01aChange(TStepSlider* Sender);
    void RecomputeCurve();

    // The curve file.
    void SaveCurveFile(const QString& Path);
    void LoadCurveFile(const QString& Path);

    // Chart interaction. A press on a marker picks its point (0 the origin,
    // 1 to 8 a point, 9 the end point) and starts a drag.
    void Chart1ClickSeries(TCurveChart* Sender, TChartSeries* Series, int ValueIndex, Qt::MouseButton Button,
                           Qt::KeyboardModifiers Shift, int X, int Y);
    // Every mouse movement over the chart: the readout, and during a drag the picked point's sliders.
    void Chart1MouseMove(TCurveChart* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
    // A released button ends the drag; the picked point stays selected.
    void Chart1MouseUp(TCurveChart* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);

    // The line series' 128 values as text: 16 lines of 8 "%.3d," fields, each line ending with CR.
    QString BuildCurveText() const;
    // Puts those values on the clipboard as Unicode text, each line ending with CR LF.
    void CopyCurveText();
    // Puts the chart, as drawn now at its size on screen, on the clipboard as a picture.
    void CopyChartBitmap();
    // "Copier graphe (image)".
    void ActGraphCopyAsBitmapExecute(QObject* Sender);
    // "Copier valeurs graphe (texte)".
    void ActGraphCopyAsTextExecute(QObject* Sender);
    // "Lisez-moi...": opens ReadmePath with its associated application, silently nothing when it is missing.
    void ActAppReadmeExecute(QObject* Sender);
    // "A propos...": a fresh About box, shown modally and destroyed once closed.
    void ActAppAboutExecute(QObject* Sender);

    // MIDI devices and lamps.
    // "Notes seulement": the item's check mark says whether only note
    // messages go through the curve; remembered in the settings.
    void ActMidiNotesOnlyExecute(QObject* Sender);
    void cbMIDIInChange(QObject* Sender);
    void cbMIDIOutChange(QObject* Sender);
    void TimerMidiInTimer(QObject* Sender);
    void TimerMidiOutTimer(QObject* Sender);
    void LedMidiErrClick(QObject* Sender);

    // The control points as the sliders hold them.
    CurvePoints CurrentPoints() const;
    // Sets the sliders to `Points` as a user would, the curve rebuilt once
    // and marked modified.
    void SetCurvePoints(const CurvePoints& Points);

    // Ready-made curves and the curve as a short list.
    void ApplyPresetCurve(const PresetCurve& Preset);
    // "Vélocité fixe…": asks for the one velocity every played note gets.
    void ActFixedVelocityExecute(QObject* Sender);
    // "Copier la courbe (texte)": "[0, 50, 80, 127; 0, 20, 110, 127]".
    void ActCopyCurveListExecute(QObject* Sender);
    // "Coller une courbe": reads that form from the clipboard; text that is
    // no curve is refused with a message and changes nothing.
    void ActPasteCurveExecute(QObject* Sender);

    // Played velocities.
    // "Vélocités jouées": shows or hides them on the chart; remembered.
    void ActMidiPlayedVelocitiesExecute(QObject* Sender);
    void ActMidiResetVelocitiesExecute(QObject* Sender);
    // "Copier les vélocités jouées": one tab-separated line per velocity.
    void ActCopyPlayedVelocitiesExecute(QObject* Sender);
    // "Calibrer d'après le jeu…": opens the calibration dialog, not modal
    // for the event loop; "Appliquer" there sets its proposal.
    void ActMidiCalibrateExecute(QObject* Sender);
    // Redraws the played velocities on the chart, its tooltip and the
    // calibration dialog's view of them.
    void UpdatePlayedVelocities();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void CreateActions();
    void CreateMenus();
    void SetFocusOrder();
    void ClearCurve();
    void CheckCurveValid();
    void PlotControlPoints();
    void BuildTransferTable();
    void SetPointSlidersSilent(bool silent);
    void BindChartEvents();
    void CreateMidiControls();
    // Chooses the remembered device in a selector when it is listed.
    void SelectRememberedDevice(QComboBox* combo, const QString& name);
    // Opens the curve file of the last run when it still loads; else keeps
    // the default curve, without a word.
    void ReopenLastCurveFile();
    // Where the file dialogs open: the folder of the last file chosen, else
    // the program's folder when it may be written (a portable copy), else
    // the user's documents.
    QString InitialDialogFolder() const;
    void RememberDialogFolder(const QString& Path);

    // IRoutingView
    void ClearDeviceList(TPortSide side) override;
    void FillDeviceList(TPortSide side, const std::vector<std::string>& names, std::size_t chosen) override;
    void UpdateDeviceList(TPortSide side, const std::vector<std::string>& names) override;
    void ShowDeviceChoices(TPortSide side, const std::vector<std::string>& items, std::size_t chosen,
                           const std::vector<std::string>& connected) override;
    std::string SelectedDevice(TPortSide side) const override;
    void ShowPortColour(TPortSide side, bool open) override;
    void ShowPortHint(TPortSide side, const std::string& hint) override;
    void ShowWaitCursor(bool on) override;
    void SetLamp(TLamp lamp, bool on) override;
    void EnableLampTimer(TLamp lamp) override;
    void ShowLastMapping(int in, int out) override;
    void ShowPlayedVelocities() override;
    void ReportError(std::exception_ptr error) override;

    IPrompts& prompts;
    TMidiRouting* routing;
    QTimer* LastMappingFrame = nullptr; // holds lblMidiLastMsg to one repaint per frame while MIDI flows
};
