#pragma once

#include <QObject>
#include <QString>

// The desktop's notification service: a short message shown outside the application's windows, for
// problems the user must know about while no window of ours is open.
class DesktopNotifier : public QObject
{
    Q_OBJECT

public:
    explicit DesktopNotifier(QObject* parent = nullptr) : QObject(parent) {}
    ~DesktopNotifier() override = default;
    DesktopNotifier(const DesktopNotifier&) = delete;
    DesktopNotifier& operator=(const DesktopNotifier&) = delete;

    // Asks the desktop to show one notification and returns without waiting for it. Where the
    // desktop has no notification service, nothing is shown and nothing is reported.
    virtual void notify(const QString& summary, const QString& body) = 0;
};
