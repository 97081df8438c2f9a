// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window under a session manager: the session's folder holds its curve
// and its state, its file menu works on the session, closing it hides it,
// and the manager hears when it is shown or hidden, when the curve or
// "Notes seulement" changed since the last save, and of every error the
// window reports. Main thread only.

#include "app/nsm_client.h"
#include "app/session_actions.h"
#include "app/session_state.h"

#include <QObject>
#include <QTemporaryDir>

#include <memory>
#include <string>

class IPrompts;
class TfmMain;

class TWindowSession final : public QObject, public ISessionActions {
public:
    // Announces the program when NSM_URL is set and waits for the session
    // to open (TNsmClient::Start); nothing when the program starts without
    // a manager. From then on the program's settings are a copy of the
    // session's state, in a folder that goes with the program.
    static std::unique_ptr<TWindowSession> Start(const std::string& executable, const bool& ending);

    explicit TWindowSession(std::unique_ptr<TNsmClient> client);
    ~TWindowSession() override;

    // The JACK client's name: the one the manager gave.
    std::string ClientId() const { return client->Session().ClientId; }

    // The window, built with the session's settings: it gets the session's
    // curve, menus and caption, the manager the answer to its open, and the
    // window the visibility the session kept.
    // The window must not outlive the session.
    void Attach(TfmMain& window, IPrompts& prompts);
    // An error the window reports, for the manager's user too.
    void Tell(const QString& text) { client->SendMessage(text); }

    void ImportIntoSession() override;
    void SaveSession() override;
    void ExportCurve() override;
    void CloseWindow() override;
    void CurveChanged() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString Folder() const;
    // Both files of the session; the reason when they could not be written.
    QString Save();
    void ShowCaption();
    void UpdateDirty();

    std::unique_ptr<TNsmClient> client;
    QTemporaryDir settingsFolder;
    TfmMain* window = nullptr;
    IPrompts* prompts = nullptr;
    CurvePoints savedPoints{};
    bool savedNotesOnly = false;
};
