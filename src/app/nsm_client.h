// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program's side of a session manager (NSM API 1.1): the announce, the
// wait for the session to open, then the manager's requests handed to the
// program and the program's news (dirty, window shown, messages) sent back.
// Main thread only; the socket's own thread stays inside TOscLink.

#include "app/nsm_protocol.h"
#include "app/osc_link.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class TNsmClient {
public:
    // The manager's requests once the session is open.
    struct THandlers {
        std::function<void()> Save;               // reply with ReplySave()
        std::function<void(bool show)> ShowGui;   // show or hide the window
    };

    // How long the announce waits for the manager's answer.
    static constexpr int AnnounceLimitMs = 5000;

    // Under a session manager when NSM_URL is set: announces the program
    // with `capabilities` and runs the event loop until the manager opens
    // the session. Nothing when NSM_URL is unset, and when it is invalid,
    // unanswered or refused (said once on stderr): the program then starts
    // as it does without a manager. Nothing either once `ending` is set (a
    // request to end ends the wait's event loop).
    // `guiShown` is the window's state to tell right after the announce's
    // answer; none for a program without a window.
    static std::unique_ptr<TNsmClient> Start(const std::string& capabilities, const std::string& executable,
                                             std::optional<bool> guiShown, const bool& ending);

    TNsmClient(const std::string& url, std::optional<bool> guiShown);
    ~TNsmClient();

    // The session as the manager opened it.
    const TNsmOpen& Session() const { return session; }
    void SetHandlers(THandlers handlers) { this->handlers = std::move(handlers); }

    // The answer to the open and to a save: empty `error` for success.
    void ReplyOpen(const QString& error);
    void ReplySave(const QString& error);
    // The curve or the mode changed since the open or the last save: told
    // once until the next save.
    void SendDirty();
    // After a save.
    void SendClean();
    // Told when it changes.
    void SendGuiShown(bool shown);
    // An error text for the manager's user.
    void SendMessage(const QString& text);

private:
    enum class TStage { Announcing, Announced, Refused, Open };

    void Receive(const TOscMessage& message);
    void Reply(const std::string& request, const QString& error);

    std::unique_ptr<TOscLink> link;
    TStage stage = TStage::Announcing;
    QString refusal; // why the manager refused the announce
    TNsmOpen session;
    THandlers handlers;
    std::optional<bool> guiShown; // last told, or to tell after the announce
    bool dirty = false;           // last told
    std::function<void()> stageChanged;
};
