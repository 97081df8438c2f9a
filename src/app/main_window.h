#pragma once

#include "app/prompts.h"
#include "curve/curve_points.h"
#include "curve/transfer_table.h"

#include <QMainWindow>

#include <array>

class QAction;
class QCloseEvent;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class TChartSeries;
class TCurveChart;
class TLedIndicator;
class TStatusShape;
class TStepSlider;

// The main window: the curve editor, the MIDI selectors and lamps, the menus
// and the controller state. It is the only class that knows the widgets; its
// handlers read the controls, call the subsystem that does the work and show
// the result.
class TfmMain : public QMainWindow {
    Q_OBJECT

public:
    explicit TfmMain(IPrompts& prompts, QWidget* parent = nullptr);
    ~TfmMain() override;

    // Controller state.
    QString AppDir;            // folder of the executable, with a trailing separator
    QString ReadmePath;        // AppDir + "a_lire.txt"
    QString CurrentCurveFile;  // last file loaded or saved; empty at start
    bool CurveModified = false; // the curve differs from the last file loaded or saved
    bool CloseRequested = false; // the window is being closed: nothing is sent meanwhile

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
    QMenu* AdvPopupMenu1 = nullptr;
    FileDialogSpec OpenDialog1;
    FileDialogSpec SaveDialog1;

    // Start-up and close.
    void FormCreate();
    void FormCloseQuery(QObject* Sender, bool& CanClose);
    void SetCurrentCurveFile(const QString& Path);
    bool ConfirmSaveIfModified();

    // Actions.
    void ActGraphOpenExecute(QObject* Sender);
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

    // The control points as the sliders hold them.
    CurvePoints CurrentPoints() const;

protected:
    void closeEvent(QCloseEvent* event) override;

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

    IPrompts& prompts;
};
