// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The mode without a window under a session manager: the session's folder
// gives the curve file, the devices and "Notes seulement"; a save writes
// them back there. Main thread only.

#include "app/command_line.h"
#include "app/nsm_client.h"

#include <memory>
#include <string>

class THeadlessSession {
public:
    // Announces the program when NSM_URL is set and waits for the session
    // to open (TNsmClient::Start); nothing when it starts without a manager.
    static std::unique_ptr<THeadlessSession> Start(const std::string& executable, const bool& ending);

    explicit THeadlessSession(std::unique_ptr<TNsmClient> client);

    // The command line as the session sets it: the client's name; the
    // session's curve file when it has one that reads; its devices and
    // mode, each unless `given` names its own.
    TCommandLine Command(const TCommandLine& given);
    // The program runs: the manager gets the answer to its open, and from
    // now on its saves write the session.
    void Ready();
    // An error of the program's, for the manager's user too.
    void Tell(const QString& text) { client->SendMessage(text); }

private:
    QString Folder() const;
    QString Save() const;

    std::unique_ptr<TNsmClient> client;
    QString openError;
    TCommandLine command;
    bool windowShown = true; // the window's state in the session, kept for the window's next run
};
