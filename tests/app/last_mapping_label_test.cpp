// The last-mapping label under heavy traffic: its text is the last mapping at
// once, while its repaints are held to one per frame instead of one per
// message, and the last repaint shows the last mapping.
#include "app/error_report.h"
#include "app/main_window.h"
#include "platform/midi/midi_services.h"
#include "platform/midi/virtual_midi_backend.h"
#include "routing/midi_routing.h"
#include "support/scripted_prompts.h"

#include <QDeadlineTimer>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

// Records the text that each paint of a widget shows.
class PaintRecorder final : public QObject {
public:
    explicit PaintRecorder(QLabel* label) : label(label) { label->installEventFilter(this); }

    QStringList painted;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == label && event->type() == QEvent::Paint)
            painted << label->text();
        return false;
    }

private:
    QLabel* label;
};

class LastMappingLabel : public ::testing::Test {
protected:
    void SetUp() override
    {
        backend = std::make_shared<VirtualMidiBackend>();
        SetMidiBackend(backend);
        SetErrorSink([this](const QString& text) { reported << text; });
        VirtualMidiBackend::DeviceSpec keyboard;
        keyboard.name = "Keyboard";
        VirtualMidiBackend::DeviceSpec synth;
        synth.name = "Synth";
        backend->addInput(keyboard);
        backend->addOutput(synth);
        routing = std::make_unique<TMidiRouting>();
        routing->CreateMidiPorts();
        form = std::make_unique<TfmMain>(prompts, routing.get());
        form->show();
    }

    void TearDown() override
    {
        routing->FreeMidiPorts();
        form.reset();
        routing.reset();
        SetMidiBackend(nullptr);
        SetErrorSink({});
    }

    std::shared_ptr<VirtualMidiBackend> backend;
    ScriptedPrompts prompts;
    QStringList reported;
    std::unique_ptr<TMidiRouting> routing;
    std::unique_ptr<TfmMain> form;
};

TEST_F(LastMappingLabel, SteadyTrafficRepaintsItFarLessThanOncePerMessageAndTheLastRepaintShowsTheLastMapping)
{
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    backend->clearSent(0);
    QTest::qWait(100);

    PaintRecorder recorder(form->lblMidiLastMsg);
    // One message at a time, each handled in a pass of its own through the
    // event loop, as under steady traffic.
    constexpr int Messages = 100;
    for (int i = 0; i < Messages; ++i) {
        backend->injectBytes(0, {0x90, static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(1 + i)});
        backend->waitIdle();
        QDeadlineTimer deadline(5000);
        while (backend->sentMessages(0).size() < std::size_t(i + 1) && !deadline.hasExpired())
            QCoreApplication::processEvents();
        ASSERT_EQ(backend->sentMessages(0).size(), std::size_t(i + 1));
        QCoreApplication::processEvents();
    }
    const QString lastMapping = QStringLiteral("In = %1 -> Out = %2").arg(Messages).arg(form->TransferTable[Messages]);
    EXPECT_EQ(form->lblMidiLastMsg->text(), lastMapping);

    // Once the traffic stops, the held text is painted within a frame.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !recorder.painted.isEmpty() && recorder.painted.last() == lastMapping; },
                                5000));
    EXPECT_TRUE(form->lblMidiLastMsg->updatesEnabled());
    EXPECT_LT(recorder.painted.size(), Messages / 4);
    EXPECT_TRUE(reported.isEmpty());
}

} // namespace
