// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"

#include "app/app_images.h"
#include "app/app_settings.h"
#include "app/error_report.h"
#include "app/readme_location.h"
#include "app/widgets/curve_chart.h"
#include "app/widgets/led_indicator.h"
#include "app/widgets/named_colours.h"
#include "app/widgets/status_shape.h"
#include "app/widgets/step_slider.h"
#include "app/widgets/ui_font.h"
#include "curve/curve_points.h"
#include "routing/midi_routing.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

namespace {

constexpr int ClientWidth = 729;
constexpr int ClientHeight = 459;

using namespace NamedColour;

QLabel* MakeLabel(QWidget* parent, const char* name, int left, int top, const QString& text, bool bold = false)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(UiFont(bold));
    label->move(left, top);
    label->adjustSize();
    return label;
}

// Qt reads "[*]" in a caption as the place of its modified mark and drops
// it; doubled, it stands for itself, so a file named "a[*]b.dat" shows so.
QString LiteralCaption(QString caption)
{
    return caption.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
}

QString PointSliderName(int point, char suffix)
{
    return QStringLiteral("tbPt%1%2").arg(point, 2, 10, QLatin1Char('0')).arg(QLatin1Char(suffix));
}

// An action's handler for its triggered signal. Qt's code between a signal
// and its handler does not clean up after an error passing through it, so
// the handler's error goes to the default error report right here.
template <class F>
auto Guarded(F handler)
{
    return [handler] { RunGuarded(handler); };
}

} // namespace

TfmMain::TfmMain(IPrompts& prompts, TMidiRouting* routing, QWidget* parent)
    : QMainWindow(parent)
    , prompts(prompts)
    , routing(routing)
{
    setObjectName(QStringLiteral("fmMain"));
    setWindowTitle(QStringLiteral("Velomorph"));
    setWindowIcon(ApplicationIcon());
    setFont(UiFont());
    CreateControls();
    CreateMidiControls();
    CreateActions();
    CreateMenus();
    SetFocusOrder();

    // Fixed client area; the menu bar sits above it.
    centralWidget()->setFixedSize(ClientWidth, ClientHeight);
    setFixedSize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());
    move(0, 0);

    RunGuarded([this] { FormCreate(); });
}

TfmMain::~TfmMain()
{
    if (routing)
        routing->AttachView(nullptr);
}

void TfmMain::CreateControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    Chart1 = new TCurveChart(client);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    Chart1->setGeometry(8, 8, 350, 350);
    Chart1->SetAxisTitles(QStringLiteral("Entrée MIDI"), QStringLiteral("Sortie MIDI"));
    Chart1->setFocusPolicy(Qt::StrongFocus);
    Series1 = &Chart1->LineSeries();
    Series2 = &Chart1->PointSeries();
    Series1->SetColor(Red);
    Series2->SetColor(Red);
    BindChartEvents();

    lblMidiValues = MakeLabel(client, "lblMidiValues", 152, 364, QStringLiteral("In = ? -> Out = ?"));
    lblPtsCnt = MakeLabel(client, "lblPtsCnt", 376, 14, QStringLiteral("Nombre de points : x"));

    tbPtsCnt = new TStepSlider(client);
    tbPtsCnt->setObjectName(QStringLiteral("tbPtsCnt"));
    tbPtsCnt->setGeometry(496, 8, 224, 26);
    tbPtsCnt->SetRange(0, 8);
    tbPtsCnt->SetPosition(2);
    tbPtsCnt->SetTag(0);
    tbPtsCnt->OnChange = [this](TStepSlider* sender) { tbPtsCntChange(sender); };

    for (int k = 1; k <= 9; ++k) {
        const int top = 40 + 36 * (k - 1);
        auto* in = new TStepSlider(client);
        in->setObjectName(PointSliderName(k, 'a'));
        in->setGeometry(376, top, 169, k == 9 ? 41 : 40);
        in->SetValueLabelFormat(QStringLiteral("In %d"));
        in->SetThumbGradient(Blue, Navy);
        auto* out = new TStepSlider(client);
        out->setObjectName(PointSliderName(k, 'b'));
        out->setGeometry(551, top, 169, 40);
        out->SetValueLabelFormat(QStringLiteral("Out %d"));
        out->SetThumbGradient(Green, Lime);
        const CurvePoints& defaults = DefaultCurvePoints;
        in->SetRange(0, 127);
        in->SetPosition(defaults.In[k - 1]);
        out->SetRange(0, 127);
        out->SetPosition(defaults.Out[k - 1]);
        for (TStepSlider* slider : {in, out}) {
            slider->SetTag(k);
            slider->setEnabled(false);
            slider->OnChange = [this](TStepSlider* sender) { tbPt01aChange(sender); };
        }
        tbPtIn[k - 1] = in;
        tbPtOut[k - 1] = out;
    }
    tbPtOut[8]->setEnabled(true);

    Bevel1 = new QFrame(client);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setGeometry(8, 384, 713, 9);
    Bevel1->setFrameShape(QFrame::NoFrame);
    Bevel1->setStyleSheet(QStringLiteral("QFrame#Bevel1 { border: none; border-top: 1px solid palette(mid); }"));

    Label1 = MakeLabel(client, "Label1", 8, 402, QStringLiteral("Entrée MIDI"), true);
    cbMIDIIn = new QComboBox(client);
    cbMIDIIn->setObjectName(QStringLiteral("cbMIDIIn"));
    cbMIDIIn->setGeometry(89, 399, 249, 21);
    shMidiIn = new TStatusShape(client);
    shMidiIn->setObjectName(QStringLiteral("shMidiIn"));
    shMidiIn->setGeometry(344, 399, 17, 22);
    shMidiIn->SetBrushColor(Red);

    Label2 = MakeLabel(client, "Label2", 8, 430, QStringLiteral("Sortie MIDI"), true);
    cbMIDIOut = new QComboBox(client);
    cbMIDIOut->setObjectName(QStringLiteral("cbMIDIOut"));
    cbMIDIOut->setGeometry(89, 426, 249, 21);
    shMidiOut = new TStatusShape(client);
    shMidiOut->setObjectName(QStringLiteral("shMidiOut"));
    shMidiOut->setGeometry(344, 426, 17, 22);
    shMidiOut->SetBrushColor(Red);

    const auto makeLed = [client](const char* name, int left, int top) {
        auto* led = new TLedIndicator(client);
        led->setObjectName(QString::fromLatin1(name));
        led->setGeometry(left, top, 13, 13);
        led->SetLedOffColor(0x004000);
        return led;
    };
    LedMidiIn = makeLed("LedMidiIn", 375, 399);
    Label4 = MakeLabel(client, "Label4", 394, 399, QStringLiteral("MIDI In"));
    LedMidiOut = makeLed("LedMidiOut", 375, 429);
    Label3 = MakeLabel(client, "Label3", 394, 429, QStringLiteral("MIDI Out"));
    LedMidiErr = makeLed("LedMidiErr", 455, 399);
    Label10 = MakeLabel(client, "Label10", 474, 399, QStringLiteral("Erreur MIDI"));
    Label5 = MakeLabel(client, "Label5", 455, 429, QStringLiteral("Dernier message MIDI :"));
    lblMidiLastMsg = MakeLabel(client, "lblMidiLastMsg", 574, 429, QStringLiteral("In = ? -> Out = ?"));

    // Captions stay clear of the control beside them.
    FitLabelToWidth(Label10, ClientWidth - 474 - 8);
    FitLabelToWidth(Label5, 574 - 455 - 4);

    // Labels whose text changes keep room for their longest text.
    lblMidiValues->setMinimumWidth(200);
    lblPtsCnt->setMinimumWidth(118);
    lblMidiLastMsg->setMinimumWidth(150);
}

void TfmMain::CreateActions()
{
    const auto makeAction = [this](const char* name, const QString& caption) {
        auto* action = new QAction(caption, this);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    ActGraphOpen = makeAction("ActGraphOpen", QStringLiteral("Ouvrir"));
    ActGraphSave = makeAction("ActGraphSave", QStringLiteral("Sauver"));
    ActGraphSaveAs = makeAction("ActGraphSaveAs", QStringLiteral("Sauver sous..."));
    ActAppClose = makeAction("ActAppClose", QStringLiteral("Quitter"));
    ActGraphCopyAsBitmap = makeAction("ActGraphCopyAsBitmap", QStringLiteral("Copier graphe (image)"));
    ActGraphCopyAsText = makeAction("ActGraphCopyAsText", QStringLiteral("Copier valeurs graphe (texte)"));
    ActAppHelpIndex = makeAction("ActAppHelpIndex", QStringLiteral("Index de l'aide"));
    ActAppReadme = makeAction("ActAppReadme", QStringLiteral("Lisez-moi..."));
    ActAppAbout = makeAction("ActAppAbout", QStringLiteral("A propos..."));
    ActMidiNotesOnly = makeAction("ActMidiNotesOnly", QStringLiteral("Notes seulement"));
    ActMidiNotesOnly->setCheckable(true);
    ActMidiPlayedVelocities = makeAction("ActMidiPlayedVelocities", QStringLiteral("Vélocités jouées"));
    ActMidiPlayedVelocities->setCheckable(true);
    ActMidiResetVelocities = makeAction("ActMidiResetVelocities", QStringLiteral("Remettre à zéro les vélocités"));
    ActMidiCalibrate = makeAction("ActMidiCalibrate", QStringLiteral("Calibrer d'après le jeu…"));
    ActCopyPlayedVelocities = makeAction("ActCopyPlayedVelocities", QStringLiteral("Copier les vélocités jouées"));
    ActCopyCurveList = makeAction("ActCopyCurveList", QStringLiteral("Copier la courbe (texte)"));
    ActPasteCurve = makeAction("ActPasteCurve", QStringLiteral("Coller une courbe"));
    for (const PresetCurve& preset : PresetCurves) {
        QAction* action = makeAction("ActPresetCurve", QString::fromUtf8(preset.Caption));
        action->setObjectName(QStringLiteral("ActPresetCurve_%1").arg(QString::fromLatin1(preset.FileName).section(u'.', 0, 0)));
        connect(action, &QAction::triggered, this, Guarded([this, &preset] { ApplyPresetCurve(preset); }));
        ActPresetCurves.push_back(action);
    }
    ActFixedVelocity = makeAction("ActFixedVelocity", QStringLiteral("Vélocité fixe…"));

    connect(ActGraphOpen, &QAction::triggered, this, Guarded([this] { ActGraphOpenExecute(ActGraphOpen); }));
    connect(ActGraphSave, &QAction::triggered, this, Guarded([this] { ActGraphSaveExecute(ActGraphSave); }));
    connect(ActGraphSaveAs, &QAction::triggered, this, Guarded([this] { ActGraphSaveAsExecute(ActGraphSaveAs); }));
    connect(ActAppClose, &QAction::triggered, this, Guarded([this] { ActAppCloseExecute(ActAppClose); }));
    connect(ActGraphCopyAsBitmap, &QAction::triggered, this,
            Guarded([this] { ActGraphCopyAsBitmapExecute(ActGraphCopyAsBitmap); }));
    connect(ActGraphCopyAsText, &QAction::triggered, this,
            Guarded([this] { ActGraphCopyAsTextExecute(ActGraphCopyAsText); }));
    connect(ActAppReadme, &QAction::triggered, this, Guarded([this] { ActAppReadmeExecute(ActAppReadme); }));
    connect(ActAppAbout, &QAction::triggered, this, Guarded([this] { ActAppAboutExecute(ActAppAbout); }));
    connect(ActMidiNotesOnly, &QAction::triggered, this,
            Guarded([this] { ActMidiNotesOnlyExecute(ActMidiNotesOnly); }));
    connect(ActMidiPlayedVelocities, &QAction::triggered, this,
            Guarded([this] { ActMidiPlayedVelocitiesExecute(ActMidiPlayedVelocities); }));
    connect(ActMidiResetVelocities, &QAction::triggered, this,
            Guarded([this] { ActMidiResetVelocitiesExecute(ActMidiResetVelocities); }));
    connect(ActMidiCalibrate, &QAction::triggered, this, Guarded([this] { ActMidiCalibrateExecute(ActMidiCalibrate); }));
    connect(ActCopyPlayedVelocities, &QAction::triggered, this,
            Guarded([this] { ActCopyPlayedVelocitiesExecute(ActCopyPlayedVelocities); }));
    connect(ActCopyCurveList, &QAction::triggered, this, Guarded([this] { ActCopyCurveListExecute(ActCopyCurveList); }));
    connect(ActPasteCurve, &QAction::triggered, this, Guarded([this] { ActPasteCurveExecute(ActPasteCurve); }));
    connect(ActFixedVelocity, &QAction::triggered, this, Guarded([this] { ActFixedVelocityExecute(ActFixedVelocity); }));

    // Played velocities need the MIDI side.
    for (QAction* action : {ActMidiResetVelocities, ActMidiCalibrate, ActCopyPlayedVelocities})
        action->setEnabled(routing != nullptr);

    // The help index does not exist.
    ActAppHelpIndex->setEnabled(false);
}

void TfmMain::CreateMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("AdvMainMenu1"));

    QMenu* mnuFile = bar->addMenu(QStringLiteral("Fichier"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFile->addAction(ActGraphOpen);
    mnuFile->addAction(ActGraphSave);
    mnuFile->addAction(ActGraphSaveAs);
    mnuFile->addSeparator();
    mnuFile->addAction(ActAppClose);

    QMenu* edition = bar->addMenu(QStringLiteral("Edition"));
    edition->setObjectName(QStringLiteral("Edition1"));
    edition->addAction(ActGraphCopyAsBitmap);
    edition->addAction(ActGraphCopyAsText);
    edition->addAction(ActCopyCurveList);
    edition->addAction(ActPasteCurve);
    edition->addAction(ActCopyPlayedVelocities);
    edition->addSeparator();
    QMenu* presets = edition->addMenu(QStringLiteral("Courbes prédéfinies"));
    presets->setObjectName(QStringLiteral("MenuPresetCurves"));
    for (QAction* action : ActPresetCurves)
        presets->addAction(action);
    presets->addSeparator();
    presets->addAction(ActFixedVelocity);

    QMenu* midi = bar->addMenu(QStringLiteral("MIDI"));
    midi->setObjectName(QStringLiteral("MenuMidi"));
    midi->addAction(ActMidiNotesOnly);
    midi->addSeparator();
    midi->addAction(ActMidiPlayedVelocities);
    midi->addAction(ActMidiResetVelocities);
    midi->addAction(ActMidiCalibrate);

    QMenu* help = bar->addMenu(QStringLiteral("Aide"));
    help->setObjectName(QStringLiteral("Aide1"));
    help->addAction(ActAppHelpIndex);
    help->addSeparator();
    help->addAction(ActAppReadme);
    help->addSeparator();
    help->addAction(ActAppAbout);

    AdvPopupMenu1 = new QMenu(this);
    AdvPopupMenu1->setObjectName(QStringLiteral("AdvPopupMenu1"));
    AdvPopupMenu1->addAction(ActGraphCopyAsBitmap);
    AdvPopupMenu1->addAction(ActGraphCopyAsText);
    AdvPopupMenu1->addSeparator();
    AdvPopupMenu1->addAction(ActGraphOpen);
    AdvPopupMenu1->addAction(ActGraphSave);
    AdvPopupMenu1->addAction(ActGraphSaveAs);
    Chart1->SetPopupMenu(AdvPopupMenu1);
}

void TfmMain::SetFocusOrder()
{
    std::vector<QWidget*> order{Chart1, tbPtsCnt};
    for (int k = 0; k < 9; ++k) {
        order.push_back(tbPtIn[k]);
        order.push_back(tbPtOut[k]);
    }
    order.push_back(cbMIDIOut);
    order.push_back(cbMIDIIn);
    for (std::size_t i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TfmMain::FormCreate()
{
    AppDir = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    if (!AppDir.endsWith(QDir::separator()))
        AppDir += QDir::separator();
    ReadmePath = FindReadme(AppDir);
    OpenDialog1 = {QStringLiteral("Courbe(*.dat)|*.dat"), QStringLiteral("dat"), InitialDialogFolder()};
    SaveDialog1 = OpenDialog1;
    CurrentCurveFile.clear();
    tbPtsCntChange(nullptr);
    CurveModified = false;
    ReopenLastCurveFile();
    const TAppSettings settings;
    ActMidiNotesOnly->setChecked(settings.NotesOnly());
    ActMidiPlayedVelocities->setChecked(settings.PlayedVelocities());
    UpdatePlayedVelocities();
    if (!routing)
        return;
    routing->SetNotesOnly(ActMidiNotesOnly->isChecked());
    routing->FillDeviceLists();
    SelectRememberedDevice(cbMIDIIn, settings.LastInput());
    SelectRememberedDevice(cbMIDIOut, settings.LastOutput());
    cbMIDIInChange(cbMIDIIn);
    cbMIDIOutChange(cbMIDIOut);
    if (routing->StartUpTestNote)
        routing->SendTestNote();
}

void TfmMain::SetCurrentCurveFile(const QString& Path)
{
    CurrentCurveFile = Path;
    TAppSettings().SetLastCurveFile(QFileInfo(Path).absoluteFilePath());
    setWindowTitle(LiteralCaption(QStringLiteral("Velomorph - %1").arg(QFileInfo(Path).fileName())));
    CurveModified = false;
    if (OnCurveStateChange)
        OnCurveStateChange();
}

bool TfmMain::ConfirmSaveIfModified()
{
    if (!CurveModified)
        return true;
    switch (prompts.AskYesNoCancel(this, QStringLiteral("Courbe modifiée. Enregistrer ?"))) {
    case IPrompts::Answer::Cancel:
        return false;
    case IPrompts::Answer::Yes:
        ActGraphSaveExecute(nullptr);
        return true;
    case IPrompts::Answer::No:
        return true;
    }
    return false;
}

void TfmMain::FormCloseQuery(QObject* /*Sender*/, bool& CanClose)
{
    SetCloseRequested(true);
    bool mayClose = false;
    try {
        mayClose = ConfirmSaveIfModified();
    } catch (...) {
        SetCloseRequested(false);
        CanClose = false;
        throw;
    }
    if (!mayClose) {
        SetCloseRequested(false);
        CanClose = false;
    }
}

void TfmMain::SetCloseRequested(bool Requested)
{
    CloseRequested = Requested;
    // The thru route reads its own copy, on the thread that forwards.
    if (routing)
        routing->SetCloseRequested(Requested);
}

void TfmMain::closeEvent(QCloseEvent* event)
{
    if (Session) {
        event->ignore();
        Session->CloseWindow();
        return;
    }
    // Refused until the query has said yes, so an error leaving the query
    // keeps the window open.
    event->ignore();
    bool canClose = true;
    FormCloseQuery(this, canClose);
    if (canClose)
        event->accept();
}

void TfmMain::ActAppCloseExecute(QObject* /*Sender*/)
{
    close();
}
