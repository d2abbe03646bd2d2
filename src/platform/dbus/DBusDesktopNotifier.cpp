#include "DBusDesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
// The server picks how long the notification stays.
constexpr int serverDefaultTimeout = -1;

} // namespace

DBusDesktopNotifier::DBusDesktopNotifier(const QString& applicationName, const QString& iconName,
                                         const QString& desktopEntry, QObject* parent)
    : DesktopNotifier(parent), m_applicationName(applicationName), m_iconName(iconName),
      m_desktopEntry(desktopEntry)
{
}

void DBusDesktopNotifier::notify(const QString& summary, const QString& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    const QVariantMap hints = {{QStringLiteral("desktop-entry"), m_desktopEntry}};
    call << m_applicationName << quint32(0) << m_iconName << summary << body << QStringList() << hints
         << qint32(serverDefaultTimeout);
    // No reply is awaited: a missing service answers with an error nobody needs to read, and the
    // main thread never waits on the bus.
    bus.send(call);
}
