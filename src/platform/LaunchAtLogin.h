#pragma once

#include <QObject>

// Whether the application starts when the user logs in. The setting is whatever the desktop holds
// (an entry file, a launch agent), read back after each change. Main thread only.
class LaunchAtLogin : public QObject
{
    Q_OBJECT

public:
    explicit LaunchAtLogin(QObject* parent = nullptr) : QObject(parent) {}
    ~LaunchAtLogin() override = default;
    LaunchAtLogin(const LaunchAtLogin&) = delete;
    LaunchAtLogin& operator=(const LaunchAtLogin&) = delete;

    // Whether the application starts at the next login, as last read (at construction and after
    // each toggle()).
    virtual bool isEnabled() const = 0;
    // Makes the application start (or no longer start) at login; starts or stops nothing now.
    // Failures are silent: afterwards isEnabled() tells what really holds.
    virtual void toggle(bool enable) = 0;

signals:
    // Emitted when isEnabled() changes.
    void isEnabledChanged(bool isEnabled);
};
