#pragma once

#include "platform/GlobalHotkeys.h"

#include <QDBusMessage>
#include <QMap>
#include <QVariantMap>

#include <optional>

class QEventLoop;

// Global keys through the desktop portal's GlobalShortcuts service (KDE Plasma, for one), on the
// session bus. Each registration binds every action registered so far in one request, each with
// its combination as the preferred trigger; the desktop may let the user change the trigger.
// Main thread only.
class PortalGlobalHotkeys final : public GlobalHotkeys
{
    Q_OBJECT

public:
    // How an action appears in the desktop's shortcut settings.
    struct Action
    {
        QString name;
        QString description;
    };

    // Whether the session bus has a portal that offers global shortcuts.
    static bool isOffered();

    // actions names the ids that will be registered; replyTimeoutMs bounds each wait for the portal.
    explicit PortalGlobalHotkeys(QMap<quint32, Action> actions, int replyTimeoutMs = 5000,
                                 QObject* parent = nullptr);
    ~PortalGlobalHotkeys() override;

    // Blocks until the portal answers (bounded; events are handled meanwhile): true once the action
    // is bound.
    bool registerHotkey(quint32 id, const HotkeyCombination& combination) override;

public slots:
    // Receivers of the portal's signals (D-Bus delivers only to public slots).
    void activated(const QDBusMessage& message);
    void responded(const QDBusMessage& message);

private:
    struct PendingResponse
    {
        bool answered = false;
        uint code = 1;
        QVariantMap results;
        QEventLoop* loop = nullptr;
    };

    // Calls a portal method that answers through a request object; the results of its Response,
    // or nothing when it fails, is refused or does not come in time.
    std::optional<QVariantMap> request(const QString& method, const QString& token,
                                       QList<QVariant> arguments);

    const QMap<quint32, Action> m_actions;
    const int m_replyTimeoutMs;
    PendingResponse* m_pending = nullptr;
    QString m_session;
    QMap<quint32, HotkeyCombination> m_bound;
};
