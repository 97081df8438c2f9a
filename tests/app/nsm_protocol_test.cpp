// SPDX-License-Identifier: GPL-3.0-or-later
// The session manager's messages as the program reads and builds them:
// every request of the API, and what does not fit it.
#include "app/nsm_protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>

namespace {

struct ReadCase {
    const char* name;
    TOscMessage message;
    std::size_t kind; // index in TNsmEvent
};

constexpr std::size_t Announced = 0, Refused = 1, Open = 2, Save = 3, Show = 4, Hide = 5, Loaded = 6, Unknown = 7;

class ReadingAMessage : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadingAMessage, GivesItsEvent)
{
    const TNsmEvent event = ReadNsmMessage(GetParam().message);
    EXPECT_EQ(event.index(), GetParam().kind);
    if (const auto* unknown = std::get_if<TNsmUnknown>(&event)) {
        EXPECT_NE(unknown->Text.find(GetParam().message.Path), std::string::npos) << unknown->Text;
    }
}

const std::string AnnouncePath = "/nsm/server/announce";

INSTANTIATE_TEST_SUITE_P(
    Nsm, ReadingAMessage,
    ::testing::Values(
        ReadCase{"AnnounceReply", {"/reply", {AnnouncePath, "salut", "nsmd", ":server-control:"}}, Announced},
        ReadCase{"AnnounceError", {"/error", {AnnouncePath, -4, "incompatible"}}, Refused},
        ReadCase{"Open", {"/nsm/client/open", {"/s/a", "a", "a.nXYZ"}}, Open},
        ReadCase{"Save", {"/nsm/client/save", {}}, Save},
        ReadCase{"Show", {"/nsm/client/show_optional_gui", {}}, Show},
        ReadCase{"Hide", {"/nsm/client/hide_optional_gui", {}}, Hide},
        ReadCase{"Loaded", {"/nsm/client/session_is_loaded", {}}, Loaded},
        // Arguments that do not fit the path.
        ReadCase{"OpenShort", {"/nsm/client/open", {"/s/a", "a"}}, Unknown},
        ReadCase{"OpenNumber", {"/nsm/client/open", {"/s/a", 3, "a"}}, Unknown},
        ReadCase{"OpenFloat", {"/nsm/client/open", {"/s/a", "a", TOscOther{'f'}}}, Unknown},
        ReadCase{"SaveWithArgument", {"/nsm/client/save", {1}}, Unknown},
        ReadCase{"AnnounceReplyShort", {"/reply", {AnnouncePath, "salut"}}, Unknown},
        ReadCase{"AnnounceErrorText", {"/error", {AnnouncePath, "x", "y"}}, Unknown},
        // Replies to anything else, and paths of no one.
        ReadCase{"OtherReply", {"/reply", {"/nsm/server/save", "ok"}}, Unknown},
        ReadCase{"EmptyReply", {"/reply", {}}, Unknown},
        ReadCase{"Other", {"/nsm/client/other", {}}, Unknown},
        ReadCase{"Empty", {"", {}}, Unknown}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NsmMessages, AreBuiltAsTheApiWritesThem)
{
    EXPECT_EQ(NsmAnnounce(NsmWindowCapabilities, "/usr/bin/velomorph", 42),
              (TOscMessage{AnnouncePath,
                           {"Velomorph", ":optional-gui:dirty:message:", "/usr/bin/velomorph", 1, 1, 42}}));
    EXPECT_EQ(OscTypes(NsmAnnounce(NsmHeadlessCapabilities, "v", 1)), "sssiii");
    EXPECT_EQ(NsmReply("/nsm/client/open", "OK"), (TOscMessage{"/reply", {"/nsm/client/open", "OK"}}));
    EXPECT_EQ(NsmError("/nsm/client/save", -1, "plein"), (TOscMessage{"/error", {"/nsm/client/save", -1, "plein"}}));
    EXPECT_EQ(NsmDirty(true).Path, "/nsm/client/is_dirty");
    EXPECT_EQ(NsmDirty(false).Path, "/nsm/client/is_clean");
    EXPECT_EQ(NsmGuiShown(true).Path, "/nsm/client/gui_is_shown");
    EXPECT_EQ(NsmGuiShown(false).Path, "/nsm/client/gui_is_hidden");
    // The priority stays within the API's 0 to 3.
    EXPECT_EQ(NsmMessage(9, "x"), (TOscMessage{"/nsm/client/message", {3, "x"}}));
    EXPECT_EQ(NsmMessage(-2, "x"), (TOscMessage{"/nsm/client/message", {0, "x"}}));
}

TEST(NsmUrl, IsAnOscUrlOverUdpWithAPort)
{
    for (const char* url : {"osc.udp://localhost:12345/", "osc.udp://127.0.0.1:7770/", "osc.udp://host:1"})
        EXPECT_TRUE(IsNsmUrl(url)) << url;
    for (const char* url : {"", "pas une adresse", "osc.tcp://host:1234/", "osc.udp://host/", "osc.udp://host:/",
                            "osc.udp://:1234/", "osc.udp://host:99999/", "osc.udp://host:0/", "osc.udp://host:12a/",
                            "osc.udp://host:1234567/"})
        EXPECT_FALSE(IsNsmUrl(url)) << url;
}

} // namespace
