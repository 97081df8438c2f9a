// SPDX-License-Identifier: GPL-3.0-or-later
// The routing's view without a window: which device each side asks for,
// what it says on stderr, and when it asks the routing to choose again.
#include "app/console_view.h"

#include <QTemporaryFile>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Standard error goes to a file of the test's own while it lives.
class CapturedStderr {
public:
    CapturedStderr()
    {
        file.open();
        std::fflush(stderr);
        saved = ::dup(STDERR_FILENO);
        ::dup2(file.handle(), STDERR_FILENO);
    }
    ~CapturedStderr()
    {
        std::fflush(stderr);
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
    }
    CapturedStderr(const CapturedStderr&) = delete;
    CapturedStderr& operator=(const CapturedStderr&) = delete;

    // The program's lines printed so far (Qt's own messages left out).
    std::vector<std::string> Lines() const
    {
        std::fflush(stderr);
        QFile read(file.fileName());
        read.open(QIODevice::ReadOnly);
        std::vector<std::string> lines;
        for (const QByteArray& line : read.readAll().split('\n')) {
            if (line.startsWith("velomorph : "))
                lines.push_back(line.toStdString());
        }
        return lines;
    }

private:
    QTemporaryFile file;
    int saved = -1;
};

using Lines = std::vector<std::string>;

// Lets every call queued on the event loop so far run.
void RunQueuedCalls()
{
    bool done = false;
    QTimer::singleShot(0, [&done] { done = true; });
    ASSERT_TRUE(QTest::qWaitFor([&done] { return done; }, 5000));
}

struct ChoiceCase {
    const char* name;
    std::string wanted;
    std::vector<std::string> listed;
    std::string selected;
    Lines said;
};

void PrintTo(const ChoiceCase& c, std::ostream* out)
{
    *out << c.name;
}

class ConsoleViewChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(ConsoleViewChoice, SelectsTheNamedDeviceOrTellsWhyNot)
{
    const ChoiceCase& c = GetParam();
    const CapturedStderr captured;
    int choices = 0;
    TConsoleView view({c.wanted, c.wanted}, [&](TPortSide) { ++choices; });
    view.FillDeviceList(TPortSide::Input, c.listed, 0);
    EXPECT_EQ(view.SelectedDevice(TPortSide::Input), c.selected);
    EXPECT_EQ(captured.Lines(), c.said);
    RunQueuedCalls();
    EXPECT_EQ(choices, 0) << "the routing chooses at start by itself";
}

const std::vector<std::string> Inputs{"keyboard:out", "keys-a:out", "keys-b:out"};

INSTANTIATE_TEST_SUITE_P(
    Cases, ConsoleViewChoice,
    ::testing::Values(
        ChoiceCase{"no_name_takes_the_first", "", Inputs, "keyboard:out", {}},
        ChoiceCase{"no_name_and_no_device", "", {}, "", {}},
        ChoiceCase{"exact_name", "keys-b:out", Inputs, "keys-b:out", {}},
        ChoiceCase{"part_of_a_name", "BOARD", Inputs, "keyboard:out", {}},
        // The name itself: the routing finds no such device and waits for it.
        ChoiceCase{"missing",
                   "piano",
                   Inputs,
                   "piano",
                   {"velomorph : entrée « piano » absente ; elle sera ouverte dès qu'elle apparaîtra"}},
        ChoiceCase{"part_of_several_names",
                   "keys",
                   Inputs,
                   "keys",
                   {"velomorph : « keys » désigne plusieurs ports (« keys-a:out », « keys-b:out ») ; l'entrée attend "
                    "qu'un seul réponde"}}));

TEST(ConsoleView, TellsAnAbsenceOnceAndChoosesAgainWhenTheDeviceAppears)
{
    const CapturedStderr captured;
    std::vector<TPortSide> choices;
    TConsoleView view({"", "SYNTH"}, [&](TPortSide side) { choices.push_back(side); });
    const Lines absent{"velomorph : sortie « SYNTH » absente ; elle sera ouverte dès qu'elle apparaîtra"};

    view.FillDeviceList(TPortSide::Output, {"keyboard:in"}, 0);
    EXPECT_EQ(captured.Lines(), absent);
    // Other devices come and go: nothing more is said, nothing is chosen.
    view.UpdateDeviceList(TPortSide::Output, {"keyboard:in", "drums:in"});
    view.UpdateDeviceList(TPortSide::Output, {"drums:in"});
    RunQueuedCalls();
    EXPECT_EQ(captured.Lines(), absent);
    EXPECT_TRUE(choices.empty());
    EXPECT_EQ(view.SelectedDevice(TPortSide::Output), "SYNTH");

    // It appears: the output is chosen again, once, from the event loop
    // (the routing is counting its devices when it tells the view).
    view.UpdateDeviceList(TPortSide::Output, {"drums:in", "Synth:in"});
    EXPECT_TRUE(choices.empty());
    EXPECT_EQ(view.SelectedDevice(TPortSide::Output), "Synth:in");
    RunQueuedCalls();
    EXPECT_EQ(choices, std::vector<TPortSide>{TPortSide::Output});
    view.UpdateDeviceList(TPortSide::Output, {"drums:in", "Synth:in", "keyboard:in"});
    RunQueuedCalls();
    EXPECT_EQ(choices.size(), 1u);

    // It goes: the name stays, for the routing to open it again once back,
    // and nothing is said or chosen (the routing does both).
    view.UpdateDeviceList(TPortSide::Output, {"drums:in"});
    EXPECT_EQ(view.SelectedDevice(TPortSide::Output), "Synth:in");
    view.UpdateDeviceList(TPortSide::Output, {"drums:in", "Synth:in"});
    RunQueuedCalls();
    EXPECT_EQ(choices.size(), 1u);
    EXPECT_EQ(captured.Lines(), absent);
    // The input, with no name, was never concerned.
    EXPECT_EQ(view.SelectedDevice(TPortSide::Input), "");
}

TEST(ConsoleView, WaitsUntilOneDeviceOnlyHoldsThePart)
{
    const CapturedStderr captured;
    std::vector<TPortSide> choices;
    TConsoleView view({"keys", ""}, [&](TPortSide side) { choices.push_back(side); });
    view.FillDeviceList(TPortSide::Input, {"keys-a:out", "keys-b:out"}, 0);
    view.UpdateDeviceList(TPortSide::Input, {"keys-a:out", "keys-b:out", "keys-c:out"});
    EXPECT_EQ(captured.Lines().size(), 1u);
    view.UpdateDeviceList(TPortSide::Input, {"keys-b:out"});
    RunQueuedCalls();
    EXPECT_EQ(choices, std::vector<TPortSide>{TPortSide::Input});
    EXPECT_EQ(view.SelectedDevice(TPortSide::Input), "keys-b:out");
}

TEST(ConsoleView, PrintsAPortStateOnceItHasHeld)
{
    const CapturedStderr captured;
    TConsoleView view({"", ""}, [](TPortSide) {});
    view.FillDeviceList(TPortSide::Input, {"keyboard:out"}, 0);
    view.FillDeviceList(TPortSide::Output, {"synth:in"}, 0);

    // A port reopened is closed for a moment first: only the state it ends in is printed.
    view.ShowPortHint(TPortSide::Input, "Port MidiIn fermé");
    view.ShowPortHint(TPortSide::Input, "Port MidiIn ouvert");
    const Lines opened{"velomorph : Port MidiIn ouvert (« keyboard:out »)"};
    ASSERT_TRUE(QTest::qWaitFor([&] { return !captured.Lines().empty(); }, 5000));
    EXPECT_EQ(captured.Lines(), opened);

    // The same state again is not printed again; the output's state, shown
    // after it, is printed after it.
    view.ShowPortHint(TPortSide::Input, "Port MidiIn ouvert");
    view.ShowPortHint(TPortSide::Output, "Port MidiOut ouvert");
    ASSERT_TRUE(QTest::qWaitFor([&] { return captured.Lines().size() >= 2; }, 5000));
    EXPECT_EQ(captured.Lines(), (Lines{opened[0], "velomorph : Port MidiOut ouvert (« synth:in »)"}));
}

TEST(ConsoleView, KeepsTheLastMapping)
{
    TConsoleView view({"", ""}, [](TPortSide) {});
    EXPECT_FALSE(view.LastMapping());
    view.ShowLastMapping(64, 100);
    view.ShowLastMapping(3, 1);
    EXPECT_EQ(view.LastMapping(), (std::pair<int, int>{3, 1}));
}

} // namespace
