// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/window_fixture.h"

#include "app/error_report.h"
#include "platform/midi/midi_services.h"

#include <QTest>

void WindowFixture::SetUp()
{
    SetErrorSink([this](const QString& text) { reported << text; });
}

void WindowFixture::TearDown()
{
    StopWindow();
    SetErrorSink({});
}

void WindowFixture::StartWindow()
{
    form = std::make_unique<TfmMain>(prompts);
}

void WindowFixture::StartWithMidi(bool testNote)
{
    routing = std::make_unique<TMidiRouting>();
    routing->StartUpTestNote = testNote;
    routing->CreateMidiPorts();
    form = std::make_unique<TfmMain>(prompts, routing.get());
}

bool WindowFixture::ShowWindow()
{
    form->show();
    return QTest::qWaitForWindowExposed(form.get());
}

void WindowFixture::StopWindow()
{
    if (routing)
        routing->FreeMidiPorts();
    form.reset();
    routing.reset();
}

std::string WindowFixture::ReportedText() const
{
    return reported.join('\n').toStdString();
}

void VirtualMidiWindowFixture::SetUp()
{
    WindowFixture::SetUp();
    backend = std::make_shared<VirtualMidiBackend>();
    SetMidiBackend(backend);
}

void VirtualMidiWindowFixture::TearDown()
{
    WindowFixture::TearDown();
    SetMidiBackend(nullptr);
}

VirtualMidiBackend::DeviceSpec VirtualMidiWindowFixture::Named(const std::string& name)
{
    VirtualMidiBackend::DeviceSpec spec;
    spec.name = name;
    return spec;
}

void VirtualMidiWindowFixture::StartWithOneOfEach()
{
    backend->addInput(Named("Keyboard"));
    backend->addOutput(Named("Synth"));
    StartWithMidi();
    ASSERT_EQ(backend->sentMessages(0).size(), 2u);
    backend->clearSent(0);
}

bool VirtualMidiWindowFixture::WaitForSent(std::size_t count)
{
    if (!QTest::qWaitFor([&] { return backend->sentMessages(0).size() >= count; }, 5000))
        return false;
    // The route sends before the window hears of a message: wait for that too.
    backend->waitIdle();
    return !routing || !routing->MidiIn
        || QTest::qWaitFor([&] { return routing->MidiIn->MessageCount() == 0; }, 5000);
}
