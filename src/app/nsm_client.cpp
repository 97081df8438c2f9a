// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/nsm_client.h"

#include "platform/exception.h"

#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <type_traits>

#include <unistd.h>

namespace {

void Tell(const QString& text)
{
    std::fputs(QStringLiteral("Velomorph : %1\n").arg(text).toUtf8().constData(), stderr);
    std::fflush(stderr);
}

} // namespace

std::unique_ptr<TNsmClient> TNsmClient::Start(const std::string& capabilities, const std::string& executable,
                                              std::optional<bool> guiShown, const bool& ending)
{
    const char* url = std::getenv("NSM_URL");
    if (!url)
        return nullptr;
    std::unique_ptr<TNsmClient> client;
    try {
        client = std::make_unique<TNsmClient>(url, guiShown);
    } catch (const Exception& error) {
        Tell(QStringLiteral("NSM_URL : %1 ; démarrage sans gestionnaire de session")
                 .arg(QString::fromStdString(error.what())));
        return nullptr;
    }
    QEventLoop wait;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &wait, &QEventLoop::quit);
    client->stageChanged = [&] {
        if (client->stage == TStage::Announced)
            limit.stop();
        else
            wait.quit();
    };
    if (!client->link->Send(NsmAnnounce(capabilities, executable, static_cast<std::int32_t>(::getpid())))) {
        Tell(QStringLiteral("NSM_URL : %1 injoignable ; démarrage sans gestionnaire de session").arg(url));
        return nullptr;
    }
    limit.start(AnnounceLimitMs);
    while (!ending && client->stage != TStage::Open) {
        if (client->stage == TStage::Refused) {
            Tell(QStringLiteral("le gestionnaire de session refuse Velomorph (%1) ; démarrage sans lui")
                     .arg(client->refusal));
            return nullptr;
        }
        if (client->stage == TStage::Announcing && !limit.isActive()) {
            Tell(QStringLiteral("aucune réponse du gestionnaire de session %1 en %2 s ; démarrage sans lui")
                     .arg(url)
                     .arg(AnnounceLimitMs / 1000));
            return nullptr;
        }
        wait.exec();
    }
    client->stageChanged = nullptr;
    if (ending)
        return nullptr;
    return client;
}

TNsmClient::TNsmClient(const std::string& url, std::optional<bool> guiShown)
    : link(std::make_unique<TOscLink>(url, [this](const TOscMessage& message) { Receive(message); }))
    , guiShown(guiShown)
{
}

TNsmClient::~TNsmClient() = default;

void TNsmClient::Receive(const TOscMessage& message)
{
    const TStage before = stage;
    std::visit(
        [&](const auto& event) {
            using T = std::decay_t<decltype(event)>;
            if constexpr (std::is_same_v<T, TNsmAnnounced>) {
                if (stage != TStage::Announcing)
                    return;
                stage = TStage::Announced;
                // The window's state, told once now and then on every change.
                if (guiShown)
                    link->Send(NsmGuiShown(*guiShown));
            } else if constexpr (std::is_same_v<T, TNsmRefused>) {
                if (stage == TStage::Announcing) {
                    refusal = QStringLiteral("%1 : %2").arg(event.Code).arg(QString::fromStdString(event.Message));
                    stage = TStage::Refused;
                }
            } else if constexpr (std::is_same_v<T, TNsmOpen>) {
                // One session a run: the program does not announce :switch:.
                if (stage == TStage::Open) {
                    link->Send(NsmError("/nsm/client/open", NsmErrorGeneral, "une session est déjà ouverte"));
                    return;
                }
                session = event;
                stage = TStage::Open;
            } else if constexpr (std::is_same_v<T, TNsmSave>) {
                if (stage != TStage::Open || !handlers.Save)
                    link->Send(NsmError("/nsm/client/save", NsmErrorGeneral, "aucune session ouverte"));
                else
                    handlers.Save();
            } else if constexpr (std::is_same_v<T, TNsmShowGui> || std::is_same_v<T, TNsmHideGui>) {
                if (stage == TStage::Open && handlers.ShowGui)
                    handlers.ShowGui(std::is_same_v<T, TNsmShowGui>);
            } else if constexpr (std::is_same_v<T, TNsmSessionLoaded>) {
                // Nothing to do: the program is ready as soon as it has replied to the open.
            } else {
                Tell(QString::fromStdString(event.Text));
            }
        },
        ReadNsmMessage(message));
    if (stage != before && stageChanged)
        stageChanged();
}

void TNsmClient::Reply(const std::string& request, const QString& error)
{
    if (error.isEmpty())
        link->Send(NsmReply(request, "OK"));
    else
        link->Send(NsmError(request, NsmErrorGeneral, error.toStdString()));
}

void TNsmClient::ReplyOpen(const QString& error)
{
    Reply("/nsm/client/open", error);
}

void TNsmClient::ReplySave(const QString& error)
{
    Reply("/nsm/client/save", error);
}

void TNsmClient::SendDirty()
{
    if (dirty)
        return;
    dirty = true;
    link->Send(NsmDirty(true));
}

void TNsmClient::SendClean()
{
    dirty = false;
    link->Send(NsmDirty(false));
}

void TNsmClient::SendGuiShown(bool shown)
{
    if (guiShown == shown)
        return;
    guiShown = shown;
    if (stage != TStage::Announcing)
        link->Send(NsmGuiShown(shown));
}

void TNsmClient::SendMessage(const QString& text)
{
    // What the window shows in a box: the API's highest priority.
    link->Send(NsmMessage(3, text.toStdString()));
}
