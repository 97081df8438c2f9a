// SPDX-License-Identifier: GPL-3.0-or-later
// What the curve applies to, through the window on virtual devices: every
// message kind in both modes, on the thru route and on the main thread's
// path, the played note that is never silenced, and the remembered mode.
#include "app/app_settings.h"
#include "app/error_report.h"
#include "app/main_window.h"
#include "platform/midi/midi_services.h"
#include "routing/midi_routing.h"
#include "support/scripted_prompts.h"
#include "virtual_midi_backend.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

using Bytes = std::vector<std::uint8_t>;

class NotesOnlyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TAppSettings().SetNotesOnly(false);
        backend = std::make_shared<VirtualMidiBackend>();
        SetMidiBackend(backend);
        SetErrorSink([this](const QString& text) { reported << text; });
        VirtualMidiBackend::DeviceSpec keys;
        keys.name = "Keys";
        backend->addInput(keys);
        VirtualMidiBackend::DeviceSpec synth;
        synth.name = "Synth";
        backend->addOutput(synth);
    }

    void TearDown() override
    {
        Stop();
        SetMidiBackend(nullptr);
        SetErrorSink({});
        TAppSettings().SetNotesOnly(false);
    }

    void Start()
    {
        routing = std::make_unique<TMidiRouting>();
        routing->CreateMidiPorts();
        form = std::make_unique<TfmMain>(prompts, routing.get());
        backend->clearSent(0);
    }

    void Stop()
    {
        if (routing)
            routing->FreeMidiPorts();
        form.reset();
        routing.reset();
    }

    // "Notes seulement", as the MIDI menu after "Edition" holds it.
    QAction* NotesOnlyItem() const
    {
        const QList<QAction*> menus = form->menuBar()->actions();
        for (qsizetype i = 1; i < menus.size(); ++i) {
            if (menus[i]->text() == "MIDI" && menus[i - 1]->text() == "Edition") {
                for (QAction* item : menus[i]->menu()->actions()) {
                    if (item->text() == "Notes seulement")
                        return item;
                }
            }
        }
        return nullptr;
    }

    // Plays one message; what left and the label afterwards.
    std::pair<std::vector<Bytes>, QString> Play(const Bytes& message)
    {
        backend->clearSent(0);
        backend->injectBytes(0, message);
        backend->waitIdle();
        EXPECT_TRUE(QTest::qWaitFor([&] { return routing->MidiIn->MessageCount() == 0; }, 5000));
        QCoreApplication::processEvents();
        return {backend->sentMessages(0), form->lblMidiLastMsg->text()};
    }

    std::shared_ptr<VirtualMidiBackend> backend;
    ScriptedPrompts prompts;
    QStringList reported;
    std::unique_ptr<TMidiRouting> routing;
    std::unique_ptr<TfmMain> form;
};

TEST_F(NotesOnlyTest, EveryKindLeavesAsTheModeSaysOnTheRouteAndWithoutIt)
{
    Start();
    ASSERT_NE(NotesOnlyItem(), nullptr);
    EXPECT_TRUE(NotesOnlyItem()->isCheckable());
    EXPECT_FALSE(NotesOnlyItem()->isChecked());
    const TTransferTable& t = form->TransferTable;
    ASSERT_EQ(t[1], 0);
    ASSERT_EQ(t[2], 0);

    struct Case {
        const char* name;
        Bytes in;
        Bytes all;       // every kind through the curve
        Bytes notesOnly; // notes only
        int shown;       // the In value the label shows; -1: unchanged
    };
    const std::vector<Case> cases = {
        {"note on", {0x90, 60, 100}, {0x90, 60, t[100]}, {0x90, 60, t[100]}, 100},
        {"note on velocity 1 leaves with 1", {0x90, 60, 1}, {0x90, 60, 1}, {0x90, 60, 1}, 1},
        {"note on velocity 2 leaves with 1", {0x91, 60, 2}, {0x91, 60, 1}, {0x91, 60, 1}, 2},
        {"note on velocity 0", {0x90, 60, 0}, {0x90, 60, t[0]}, {0x90, 60, t[0]}, -1},
        {"note off", {0x80, 60, 64}, {0x80, 60, t[64]}, {0x80, 60, t[64]}, 64},
        {"key pressure", {0xA0, 60, 52}, {0xA0, 60, t[52]}, {0xA0, 60, t[52]}, 52},
        {"modulation", {0xB0, 1, 64}, {0xB0, 1, t[64]}, {0xB0, 1, 64}, 64},
        {"pitch wheel at rest", {0xE0, 0x00, 0x40}, {0xE0, 0x00, t[0x40]}, {0xE0, 0x00, 0x40}, 0x40},
        {"song position", {0xF2, 0x10, 0x20}, {0xF2, 0x10, t[0x20]}, {0xF2, 0x10, 0x20}, 0x20},
        {"program change", {0xC0, 5}, {0xC0, 5}, {0xC0, 5}, -1},
        {"channel pressure", {0xD0, 64}, {0xD0, 64}, {0xD0, 64}, -1},
        {"timing clock", {0xF8}, {0xF8}, {0xF8}, -1},
        {"system exclusive", {0xF0, 0x7E, 0x7F, 0xF7}, {0xF0, 0x7E, 0x7F, 0xF7}, {0xF0, 0x7E, 0x7F, 0xF7}, -1},
    };
    for (const bool routed : {true, false}) {
        if (!routed)
            routing->Thru.Disconnect(); // the main thread sends
        for (const bool notesOnly : {false, true}) {
            if (NotesOnlyItem()->isChecked() != notesOnly)
                NotesOnlyItem()->trigger();
            for (const Case& c : cases) {
                SCOPED_TRACE(std::string(c.name) + (routed ? ", routed" : ", main thread")
                             + (notesOnly ? ", notes only" : ", every kind"));
                const QString before = form->lblMidiLastMsg->text();
                const auto [sent, label] = Play(c.in);
                EXPECT_EQ(sent, std::vector<Bytes>{notesOnly ? c.notesOnly : c.all});
                // The label shows the table's entry for what went through the curve.
                const bool note = (c.in[0] & 0xF0) <= 0xA0;
                const int out = c.shown < 0 ? 0 : notesOnly && !note ? c.shown : t[c.shown];
                EXPECT_EQ(label, c.shown < 0 ? before : QStringLiteral("In = %1 -> Out = %2").arg(c.shown).arg(out));
            }
        }
    }
    // The table itself stays exact: only what leaves is mended.
    EXPECT_EQ(form->TransferTable, BuildTransferTable(form->CurrentPoints()));
    EXPECT_TRUE(reported.isEmpty()) << reported.join('\n').toStdString();
}

TEST_F(NotesOnlyTest, TheModeIsRememberedAndInForceAtTheNextStart)
{
    Start();
    NotesOnlyItem()->trigger();
    EXPECT_TRUE(TAppSettings().NotesOnly());
    Stop();

    Start();
    ASSERT_TRUE(NotesOnlyItem()->isChecked());
    EXPECT_EQ(Play({0xB0, 7, 64}).first, (std::vector<Bytes>{{0xB0, 7, 64}}));
    NotesOnlyItem()->trigger();
    EXPECT_FALSE(TAppSettings().NotesOnly());
    const std::uint8_t mapped = form->TransferTable[64];
    EXPECT_EQ(Play({0xB0, 7, 64}).first, (std::vector<Bytes>{{0xB0, 7, mapped}}));
}

} // namespace
