// SPDX-License-Identifier: GPL-3.0-or-later
// Devices as they come and go, through the window on virtual devices: live
// selectors, choices by name, a device that goes away and comes back, and
// the devices remembered for the next start.
#include "app/app_settings.h"
#include "app/error_report.h"
#include "app/main_window.h"
#include "app/widgets/status_shape.h"
#include "platform/midi/midi_services.h"
#include "routing/midi_routing.h"
#include "support/scripted_prompts.h"
#include "virtual_midi_backend.h"

#include <QComboBox>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

using Bytes = std::vector<std::uint8_t>;

const QColor Lime(0, 255, 0);
const QColor Red(255, 0, 0);

VirtualMidiBackend::DeviceSpec Named(const std::string& name)
{
    VirtualMidiBackend::DeviceSpec spec;
    spec.name = name;
    return spec;
}

QStringList Items(const QComboBox* combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

class DeviceListsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TAppSettings().SetLastInput({});
        TAppSettings().SetLastOutput({});
        backend = std::make_shared<VirtualMidiBackend>();
        SetMidiBackend(backend);
        SetErrorSink([this](const QString& text) { reported << text; });
    }

    void TearDown() override
    {
        Stop();
        SetMidiBackend(nullptr);
        SetErrorSink({});
    }

    void Start()
    {
        routing = std::make_unique<TMidiRouting>();
        routing->CreateMidiPorts();
        form = std::make_unique<TfmMain>(prompts, routing.get());
    }

    void Stop()
    {
        if (routing)
            routing->FreeMidiPorts();
        form.reset();
        routing.reset();
    }

    // The user picks an item of a selector, as it shows now.
    static void Choose(QComboBox* combo, const QString& name)
    {
        const int index = combo->findText(name);
        ASSERT_GE(index, 0) << name.toStdString();
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }

    // Lets the window hear of what changed, until `done` holds (false after 5 s).
    template <class Condition>
    static bool Eventually(Condition done)
    {
        return QTest::qWaitFor(done, 5000);
    }

    std::vector<Bytes> RoundTrip(unsigned input, unsigned output, const Bytes& message)
    {
        backend->clearSent(output);
        backend->injectBytes(input, message);
        backend->waitIdle();
        return backend->sentMessages(output);
    }

    std::shared_ptr<VirtualMidiBackend> backend;
    ScriptedPrompts prompts;
    QStringList reported;
    std::unique_ptr<TMidiRouting> routing;
    std::unique_ptr<TfmMain> form;
};

TEST_F(DeviceListsTest, ASelectorFollowsTheDevicesWithoutReopeningAnything)
{
    backend->addInput(Named("Keys"));
    backend->addOutput(Named("Synth"));
    Start();
    backend->clearSent(0);
    const unsigned pads = backend->addInput(Named("Pads"));
    const unsigned sampler = backend->addOutput(Named("Sampler"));
    EXPECT_TRUE(Eventually([&] { return Items(form->cbMIDIIn) == QStringList({"Keys", "Pads"}); }));
    EXPECT_TRUE(Eventually([&] { return Items(form->cbMIDIOut) == QStringList({"Synth", "Sampler"}); }));
    EXPECT_EQ(form->cbMIDIIn->currentText(), "Keys");
    EXPECT_EQ(form->cbMIDIOut->currentText(), "Synth");
    EXPECT_FALSE(backend->isInputOpen(pads));
    EXPECT_FALSE(backend->isOutputOpen(sampler));
    EXPECT_TRUE(backend->sentMessages(0).empty()) << "no test note: nothing was reopened";

    backend->removeInput(pads);
    EXPECT_TRUE(Eventually([&] { return Items(form->cbMIDIIn) == QStringList({"Keys"}); }));
    EXPECT_TRUE(reported.isEmpty()) << reported.join('\n').toStdString();
}

TEST_F(DeviceListsTest, ADeviceThatGoesTurnsItsShapeRedAndOpensAgainWhenItIsBack)
{
    backend->addInput(Named("Keys"));
    backend->addOutput(Named("Synth"));
    Start();
    const TTransferTable& t = form->TransferTable;
    ASSERT_EQ(RoundTrip(0, 0, {0x90, 60, 100}), (std::vector<Bytes>{{0x90, 60, t[100]}}));

    backend->removeOutput(0);
    ASSERT_TRUE(Eventually([&] { return routing->PortIsLost(TPortSide::Output); }));
    EXPECT_EQ(form->shMidiOut->BrushColor(), Red);
    EXPECT_EQ(form->shMidiOut->toolTip(), "Port MidiOut déconnecté");
    EXPECT_EQ(form->cbMIDIOut->currentText(), "Synth");
    // What arrives meanwhile is lost, without a box.
    backend->injectBytes(0, {0x90, 61, 100});
    backend->waitIdle();
    EXPECT_TRUE(Eventually([&] { return routing->MidiIn->MessageCount() == 0; }));
    EXPECT_TRUE(reported.isEmpty()) << reported.join('\n').toStdString();

    const unsigned back = backend->addOutput(Named("Synth"));
    ASSERT_TRUE(Eventually([&] { return backend->isOutputOpen(back) && !routing->PortIsLost(TPortSide::Output); }));
    EXPECT_EQ(form->shMidiOut->BrushColor(), Lime);
    EXPECT_EQ(form->shMidiOut->toolTip(), "Port MidiOut ouvert");
    // The route is back: every note after the reconnection leaves.
    std::vector<Bytes> expected;
    for (std::uint8_t key = 0; key < 100; ++key) {
        backend->injectBytes(0, {0x90, key, 100});
        expected.push_back({0x90, key, t[100]});
    }
    backend->waitIdle();
    EXPECT_EQ(backend->sentMessages(back), expected);

    // The same for the input.
    backend->removeInput(0);
    ASSERT_TRUE(Eventually([&] { return routing->PortIsLost(TPortSide::Input); }));
    EXPECT_EQ(form->shMidiIn->BrushColor(), Red);
    EXPECT_EQ(form->shMidiIn->toolTip(), "Port MidiIn déconnecté");
    const unsigned keys = backend->addInput(Named("Keys"));
    ASSERT_TRUE(Eventually([&] { return backend->isInputOpen(keys) && !routing->PortIsLost(TPortSide::Input); }));
    EXPECT_EQ(form->shMidiIn->BrushColor(), Lime);
    EXPECT_EQ(RoundTrip(keys, back, {0x90, 62, 100}), (std::vector<Bytes>{{0x90, 62, t[100]}}));
    EXPECT_TRUE(reported.isEmpty()) << reported.join('\n').toStdString();
}

TEST_F(DeviceListsTest, ADeviceChosenFromAListThatChangedIsFoundByNameAndNeverAnother)
{
    backend->addInput(Named("Keys"));
    const unsigned synth = backend->addOutput(Named("Synth"));
    const unsigned daw = backend->addOutput(Named("Daw"));
    Start();
    ASSERT_EQ(Items(form->cbMIDIOut), QStringList({"Synth", "Daw"}));
    // The user picks "Daw" from the list as it shows, while "Synth" has just
    // gone: "Daw" is number 0 now, and number 1 is no device.
    form->cbMIDIOut->setCurrentIndex(1);
    backend->removeOutput(synth);
    emit form->cbMIDIOut->activated(1);
    EXPECT_TRUE(backend->isOutputOpen(daw));
    EXPECT_EQ(form->shMidiOut->BrushColor(), Lime);

    // A device that has gone when it is chosen: the port stays closed, and
    // no other device opens in its place.
    const unsigned gone = backend->addOutput(Named("Gone"));
    ASSERT_TRUE(Eventually([&] { return Items(form->cbMIDIOut) == QStringList({"Daw", "Gone"}); }));
    form->cbMIDIOut->setCurrentIndex(1);
    backend->removeOutput(gone);
    emit form->cbMIDIOut->activated(1);
    EXPECT_FALSE(backend->isOutputOpen(daw));
    EXPECT_EQ(form->shMidiOut->BrushColor(), Red);
    EXPECT_EQ(form->shMidiOut->toolTip(), "Port MidiOut déconnecté");
    EXPECT_EQ(form->cbMIDIOut->currentText(), "Gone");
    EXPECT_TRUE(reported.isEmpty()) << reported.join('\n').toStdString();
}

TEST_F(DeviceListsTest, TheChosenDevicesAreOpenedAtTheNextStart)
{
    backend->addInput(Named("Keys"));
    backend->addInput(Named("Pads"));
    backend->addOutput(Named("Synth"));
    backend->addOutput(Named("Sampler"));
    Start();
    Choose(form->cbMIDIIn, "Pads");
    Choose(form->cbMIDIOut, "Sampler");
    EXPECT_EQ(TAppSettings().LastInput(), "Pads");
    EXPECT_EQ(TAppSettings().LastOutput(), "Sampler");
    Stop();

    Start();
    EXPECT_EQ(form->cbMIDIIn->currentText(), "Pads");
    EXPECT_EQ(form->cbMIDIOut->currentText(), "Sampler");
    EXPECT_TRUE(backend->isInputOpen(1));
    EXPECT_TRUE(backend->isOutputOpen(1));
    EXPECT_FALSE(backend->isOutputOpen(0));
    EXPECT_EQ(backend->sentMessages(1).size(), 2u) << "the test note goes to the remembered output";
    Stop();

    // A remembered device that is not there: the first one, as on a first start.
    backend->removeOutput(1);
    Start();
    EXPECT_EQ(form->cbMIDIOut->currentText(), "Synth");
    EXPECT_TRUE(backend->isOutputOpen(0));
}

} // namespace
