// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/driver_callback.h"
#include "midi/event_buffer.h"

#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Posted {
    std::uint32_t msg;
    std::uintptr_t wParam;
    std::uintptr_t lParam;
    bool operator==(const Posted&) const = default;
};

MIDIHDR sysexHeader;
const DWORD_PTR sysexParam = reinterpret_cast<DWORD_PTR>(&sysexHeader);

// A control record, a ring buffer and a real notification window, as a port
// sets them up before it opens its device.
class DriverCallback : public ::testing::Test {
protected:
    DriverCallback()
        : window([this](TMessage& m) { posted.push_back({m.Msg, m.WParam, m.LParam}); })
    {
        info->PBuffer = buffer.get();
        info->hWindow = &window;
    }

    void call(UINT wMsg, DWORD_PTR param1, DWORD_PTR param2 = 0)
    {
        MidiDriverCallback(1, wMsg, reinterpret_cast<DWORD_PTR>(info.get()), param1, param2);
        window.dispatchPending();
    }

    std::vector<TMidiBufferItem> queued()
    {
        std::vector<TMidiBufferItem> items;
        TMidiBufferItem item;
        while (PeekEvent(buffer.get(), item) && DropEvent(buffer.get()))
            items.push_back(item);
        return items;
    }

    std::unique_ptr<TCircularBuffer, void (*)(PCircularBuffer)> buffer{CreateEventBuffer(4), FreeEventBuffer};
    std::unique_ptr<TMidiCtlInfo, void (*)(PMidiCtlInfo)> info{AllocCtlInfo(), FreeCtlInfo};
    std::vector<Posted> posted;
    NotificationWindow window;
};

struct Rule {
    std::string name;
    UINT wMsg;
    DWORD_PTR param1;
    bool sysexOnly = false;
    bool filterMTC = false;
    bool filterAS = false;
    bool noBuffer = false;
    // What is queued (data, sysex) and posted; nothing when empty.
    std::optional<TMidiBufferItem> entry;
    std::optional<Posted> notification;
};

void PrintTo(const Rule& rule, std::ostream* os)
{
    *os << rule.name;
}

class CallbackRule : public DriverCallback, public ::testing::WithParamInterface<Rule> {
};

const Posted dataQueued{MIM_DATA, 0, 0};

} // namespace

TEST_P(CallbackRule, FiltersQueuesAndNotifies)
{
    const Rule& rule = GetParam();
    info->SysexOnly = rule.sysexOnly;
    info->FilterMTC = rule.filterMTC;
    info->FilterAS = rule.filterAS;
    if (rule.noBuffer)
        info->PBuffer = nullptr;

    call(rule.wMsg, rule.param1, 4321);

    const auto items = queued();
    if (rule.entry) {
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0].timestamp, 4321u);
        EXPECT_EQ(items[0].data, rule.entry->data);
        EXPECT_EQ(items[0].sysex, rule.entry->sysex);
    } else {
        EXPECT_TRUE(items.empty());
    }
    if (rule.notification)
        EXPECT_EQ(posted, std::vector<Posted>{*rule.notification});
    else
        EXPECT_TRUE(posted.empty());
}

INSTANTIATE_TEST_SUITE_P(
    RuleTable, CallbackRule,
    ::testing::Values(
        Rule{"note queued", MIM_DATA, 0x643C90, false, false, false, false, TMidiBufferItem{0, 0x643C90, nullptr}, dataQueued},
        Rule{"clock dropped by FilterMTC", MIM_DATA, 0xF8, false, true, false, false, {}, {}},
        Rule{"clock queued without FilterMTC", MIM_DATA, 0xF8, false, false, true, false, TMidiBufferItem{0, 0xF8, nullptr}, dataQueued},
        Rule{"active sensing dropped by FilterAS", MIM_DATA, 0xFE, false, false, true, false, {}, {}},
        Rule{"active sensing queued without FilterAS", MIM_DATA, 0xFE, false, true, false, false, TMidiBufferItem{0, 0xFE, nullptr}, dataQueued},
        Rule{"quarter frame never filtered", MIM_DATA, 0x00F1, false, true, true, false, TMidiBufferItem{0, 0xF1, nullptr}, dataQueued},
        Rule{"clock with data bytes is no single-byte clock", MIM_DATA, 0x01F8, false, true, true, false, TMidiBufferItem{0, 0x01F8, nullptr}, dataQueued},
        Rule{"short message dropped by SysexOnly", MIM_DATA, 0x643C90, true, false, false, false, {}, {}},
        Rule{"short message dropped without buffer", MIM_DATA, 0x643C90, false, false, false, true, {}, {}},
        Rule{"sysex queued despite SysexOnly and filters", MIM_LONGDATA, sysexParam, true, true, true, false, TMidiBufferItem{0, 0, &sysexHeader}, dataQueued},
        Rule{"cut-off sysex queued like a whole one", MIM_LONGERROR, sysexParam, false, false, false, false, TMidiBufferItem{0, 0, &sysexHeader}, dataQueued},
        Rule{"sysex dropped without buffer", MIM_LONGDATA, sysexParam, false, false, false, true, {}, {}},
        Rule{"output done posted without buffer", MOM_DONE, sysexParam, false, false, false, true, {}, Posted{MOM_DONE, 0, sysexParam}},
        Rule{"invalid short message ignored", MIM_ERROR, 0x643C90, false, false, false, false, {}, {}},
        Rule{"input open ignored", MIM_OPEN, 0, false, false, false, false, {}, {}},
        Rule{"input close ignored", MIM_CLOSE, 0, false, false, false, false, {}, {}},
        Rule{"more data ignored", MIM_MOREDATA, 0x643C90, false, false, false, false, {}, {}},
        Rule{"output open ignored", MOM_OPEN, 0, false, false, false, false, {}, {}},
        Rule{"output close ignored", MOM_CLOSE, 0, false, false, false, false, {}, {}}),
    [](const ::testing::TestParamInfo<Rule>& info) {
        std::string name;
        for (char c : info.param.name)
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

TEST_F(DriverCallback, FullBufferKeepsWhatItHoldsAndPostsOneOverflow)
{
    for (DWORD n = 1; n <= 4; ++n)
        call(MIM_DATA, 0x90 | n << 8, n);
    posted.clear();

    call(MIM_DATA, 0x80 | 5 << 8, 5);

    EXPECT_EQ(posted, (std::vector<Posted>{{WM_USER, 0, 0}}));
    const auto items = queued();
    ASSERT_EQ(items.size(), 4u);
    for (DWORD n = 1; n <= 4; ++n) {
        EXPECT_EQ(items[n - 1].timestamp, n);
        EXPECT_EQ(items[n - 1].data, 0x90 | n << 8);
    }
}

TEST_F(DriverCallback, AFullBufferIsAnOverflowOnlyWhenTheMessageItselfIsLost)
{
    const struct {
        const char* name;
        ThruOutcome outcome;
        bool overflow;
    } table[] = {
        {"no route: nothing sent it", ThruNone, true},
        {"sent by the route", ThruSent, false},
        {"held by the route while closing", ThruHeld, false},
        {"ruled out by the route", ThruDropped, false},
        {"no room on the output", ThruLost, true},
        {"refused by the output", thruFailed(MIDIERR_NOTREADY), true},
    };
    for (DWORD n = 1; n <= 4; ++n)
        call(MIM_DATA, 0x90 | n << 8, n);
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        posted.clear();
        call(MIM_DATA, 0x643C90 | static_cast<DWORD_PTR>(row.outcome) << 24);
        const std::vector<Posted> overflow{{WM_USER, 0, 0}};
        EXPECT_EQ(posted, row.overflow ? overflow : std::vector<Posted>{});
    }
    // A routed message lost after it was handed over is an overflow too.
    posted.clear();
    call(MIM_THRULOST, 1);
    EXPECT_EQ(posted, (std::vector<Posted>{{WM_USER, 0, 0}}));
}

TEST_F(DriverCallback, TheRoutesOutcomeTravelsWithTheQueuedMessage)
{
    call(MIM_DATA, 0xF8 | static_cast<DWORD_PTR>(ThruSent) << 24);
    info->FilterMTC = true;
    // The filter looks at the message, not at the outcome beside it.
    call(MIM_DATA, 0xF8 | static_cast<DWORD_PTR>(ThruDropped) << 24);
    const auto items = queued();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].data, 0x010000F8u);
}
