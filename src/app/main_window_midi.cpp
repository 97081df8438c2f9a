// SPDX-License-Identifier: GPL-3.0-or-later
// The MIDI side of the main window: device selectors, status shapes, lamps
// and their timers, shown for the MIDI routing.
#include "app/main_window.h"

#include "app/app_settings.h"
#include "app/error_report.h"
#include "app/widgets/led_indicator.h"
#include "app/widgets/named_colours.h"
#include "app/widgets/status_shape.h"
#include "routing/midi_routing.h"

#include <QApplication>
#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>

namespace {

constexpr int LampTimerMs = 100;

// Whether the event opens a selector's list: a click, or the keys that do.
bool OpensDeviceList(const QEvent& event)
{
    if (event.type() == QEvent::MouseButtonPress)
        return true;
    if (event.type() != QEvent::KeyPress)
        return false;
    const auto& key = static_cast<const QKeyEvent&>(event);
    return key.key() == Qt::Key_F4 || key.key() == Qt::Key_Space
        || ((key.key() == Qt::Key_Down || key.key() == Qt::Key_Up) && (key.modifiers() & Qt::AltModifier));
}
// The last-mapping label is repainted at most this often: no one reads a
// text that changes with every one of thousands of messages a second.
constexpr int LastMappingFrameMs = 100;

using namespace NamedColour;

} // namespace

void TfmMain::CreateMidiControls()
{
    const auto makeTimer = [this](const char* name) {
        auto* timer = new QTimer(this);
        timer->setObjectName(QString::fromLatin1(name));
        timer->setInterval(LampTimerMs);
        return timer;
    };
    TimerMidiIn = makeTimer("TimerMidiIn");
    TimerMidiOut = makeTimer("TimerMidiOut");
    connect(TimerMidiIn, &QTimer::timeout, this, [this] { TimerMidiInTimer(TimerMidiIn); });
    connect(TimerMidiOut, &QTimer::timeout, this, [this] { TimerMidiOutTimer(TimerMidiOut); });
    // The label keeps its size whatever its text (no layout manages it), so a
    // new text asks nothing of its parent's layout.
    lblMidiLastMsg->setFixedSize(lblMidiLastMsg->size());
    LastMappingFrame = new QTimer(this);
    LastMappingFrame->setObjectName(QStringLiteral("LastMappingFrame"));
    LastMappingFrame->setSingleShot(true);
    LastMappingFrame->setInterval(LastMappingFrameMs);
    connect(LastMappingFrame, &QTimer::timeout, this, [this] {
        // The text held back during the frame is painted now, and holds the next frame.
        if (!lblMidiLastMsg->updatesEnabled()) {
            lblMidiLastMsg->setUpdatesEnabled(true);
            LastMappingFrame->start();
        }
    });
    PlayedVelocitiesFrame = new QTimer(this);
    PlayedVelocitiesFrame->setObjectName(QStringLiteral("PlayedVelocitiesFrame"));
    PlayedVelocitiesFrame->setSingleShot(true);
    PlayedVelocitiesFrame->setInterval(LastMappingFrameMs);
    connect(PlayedVelocitiesFrame, &QTimer::timeout, this, [this] { UpdatePlayedVelocities(); });
    LedMidiErr->OnClick = [this](TLedIndicator* sender) { LedMidiErrClick(sender); };
    // Only a choice of the user runs the change handlers, also for the item
    // already chosen; it is remembered for the next start.
    connect(cbMIDIIn, &QComboBox::activated, this, [this] {
        TAppSettings().SetLastInput(cbMIDIIn->currentText());
        cbMIDIInChange(cbMIDIIn);
    });
    connect(cbMIDIOut, &QComboBox::activated, this, [this] {
        TAppSettings().SetLastOutput(cbMIDIOut->currentText());
        cbMIDIOutChange(cbMIDIOut);
    });
    // A list about to open shows the devices as they are now.
    cbMIDIIn->installEventFilter(this);
    cbMIDIOut->installEventFilter(this);
    if (routing)
        routing->AttachView(this);
}

void TfmMain::ActMidiNotesOnlyExecute(QObject* /*Sender*/)
{
    const bool notesOnly = ActMidiNotesOnly->isChecked();
    if (routing)
        routing->SetNotesOnly(notesOnly);
    TAppSettings().SetNotesOnly(notesOnly);
}

void TfmMain::cbMIDIInChange(QObject* /*Sender*/)
{
    if (routing)
        routing->ChooseDevice(TPortSide::Input);
}

void TfmMain::cbMIDIOutChange(QObject* /*Sender*/)
{
    if (routing)
        routing->ChooseDevice(TPortSide::Output);
}

void TfmMain::TimerMidiInTimer(QObject* /*Sender*/)
{
    TimerMidiIn->stop();
    LedMidiIn->SetLedOn(false);
}

void TfmMain::TimerMidiOutTimer(QObject* /*Sender*/)
{
    TimerMidiOut->stop();
    LedMidiOut->SetLedOn(false);
}

void TfmMain::LedMidiErrClick(QObject* /*Sender*/)
{
    LedMidiErr->SetLedOn(false);
}

void TfmMain::ReportError(std::exception_ptr error)
{
    RunGuarded([&] { std::rethrow_exception(error); });
}

bool TfmMain::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == cbMIDIIn || watched == cbMIDIOut) && routing && OpensDeviceList(*event))
        routing->RefreshDeviceLists();
    return QMainWindow::eventFilter(watched, event);
}

void TfmMain::SelectRememberedDevice(QComboBox* combo, const QString& name)
{
    const int index = name.isEmpty() ? -1 : combo->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        combo->setCurrentIndex(index);
}

void TfmMain::ClearDeviceList(TPortSide side)
{
    (side == TPortSide::Input ? cbMIDIIn : cbMIDIOut)->clear();
}

void TfmMain::FillDeviceList(TPortSide side, const std::vector<std::string>& names, std::size_t chosen)
{
    QComboBox* combo = side == TPortSide::Input ? cbMIDIIn : cbMIDIOut;
    for (const std::string& name : names)
        combo->addItem(QString::fromStdString(name));
    combo->setCurrentIndex(chosen < names.size() ? static_cast<int>(chosen) : -1);
}

void TfmMain::UpdateDeviceList(TPortSide side, const std::vector<std::string>& names)
{
    QComboBox* combo = side == TPortSide::Input ? cbMIDIIn : cbMIDIOut;
    // A device's selector has no connections to name.
    combo->setToolTip(QString());
    // A list the user has open is left alone; it was counted as it opened.
    if (combo->view()->isVisible())
        return;
    const QString chosen = combo->currentText();
    QStringList items;
    for (const std::string& name : names)
        items << QString::fromStdString(name);
    // A chosen device that has gone keeps its name in the selector.
    if (!chosen.isEmpty() && !items.contains(chosen))
        items << chosen;
    QStringList current;
    for (int i = 0; i < combo->count(); ++i)
        current << combo->itemText(i);
    if (items == current)
        return;
    combo->clear();
    combo->addItems(items);
    combo->setCurrentIndex(chosen.isEmpty() ? 0 : static_cast<int>(items.indexOf(chosen)));
}

void TfmMain::ShowDeviceChoices(TPortSide side, const std::vector<std::string>& items, std::size_t chosen,
                                const std::vector<std::string>& connected)
{
    QComboBox* combo = side == TPortSide::Input ? cbMIDIIn : cbMIDIOut;
    QStringList names;
    for (const std::string& name : connected)
        names << QString::fromStdString(name);
    combo->setToolTip(names.join(QLatin1Char('\n')));
    // A list the user has open is left alone; it was counted as it opened.
    if (combo->view()->isVisible())
        return;
    QStringList wanted;
    for (const std::string& item : items)
        wanted << QString::fromStdString(item);
    QStringList current;
    for (int i = 0; i < combo->count(); ++i)
        current << combo->itemText(i);
    if (wanted != current) {
        combo->clear();
        combo->addItems(wanted);
    }
    combo->setCurrentIndex(chosen < items.size() ? static_cast<int>(chosen) : -1);
}

std::string TfmMain::SelectedDevice(TPortSide side) const
{
    return (side == TPortSide::Input ? cbMIDIIn : cbMIDIOut)->currentText().toStdString();
}

void TfmMain::ShowPortColour(TPortSide side, bool open)
{
    (side == TPortSide::Input ? shMidiIn : shMidiOut)->SetBrushColor(open ? Lime : Red);
}

void TfmMain::ShowPortHint(TPortSide side, const std::string& hint)
{
    // The same hint again (the connections were looked at again) changes nothing.
    TStatusShape* shape = side == TPortSide::Input ? shMidiIn : shMidiOut;
    const QString text = QString::fromStdString(hint);
    if (shape->toolTip() != text)
        shape->setToolTip(text);
}

void TfmMain::ShowWaitCursor(bool on)
{
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TfmMain::SetLamp(TLamp lamp, bool on)
{
    switch (lamp) {
    case TLamp::MidiIn:
        LedMidiIn->SetLedOn(on);
        break;
    case TLamp::MidiOut:
        LedMidiOut->SetLedOn(on);
        break;
    case TLamp::MidiErr:
        LedMidiErr->SetLedOn(on);
        break;
    }
}

void TfmMain::EnableLampTimer(TLamp lamp)
{
    QTimer* timer = lamp == TLamp::MidiIn ? TimerMidiIn : lamp == TLamp::MidiOut ? TimerMidiOut : nullptr;
    if (timer && !timer->isActive())
        timer->start();
}

void TfmMain::ShowLastMapping(int in, int out)
{
    // The text is always the last mapping; within a frame of the last
    // repaint, the label waits for the frame's end to be repainted.
    if (LastMappingFrame->isActive())
        lblMidiLastMsg->setUpdatesEnabled(false);
    else
        LastMappingFrame->start();
    lblMidiLastMsg->setText(QStringLiteral("In = ") + QString::number(in) + QStringLiteral(" -> Out = ") +
                            QString::number(out));
}
