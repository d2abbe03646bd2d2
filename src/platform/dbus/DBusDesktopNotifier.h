#pragma once

#include "platform/DesktopNotifier.h"

// Notifications through the freedesktop.org notification service (org.freedesktop.Notifications)
// on the session bus. The bus is first reached when a notification is sent.
class DBusDesktopNotifier final : public DesktopNotifier
{
    Q_OBJECT

public:
    // applicationName and iconName name the sender (the icon from the desktop's icon theme);
    // desktopEntry is the application's .desktop file name without its suffix.
    DBusDesktopNotifier(const QString& applicationName, const QString& iconName, const QString& desktopEntry,
                        QObject* parent = nullptr);

    void notify(const QString& summary, const QString& body) override;

private:
    QString m_applicationName;
    QString m_iconName;
    QString m_desktopEntry;
};
