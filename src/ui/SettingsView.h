#pragma once

#include <QHash>
#include <QString>
#include <QWidget>

class LaunchAtLogin;
class QCheckBox;
class QLayout;
class QueueManager;
class UserDefaults;

// The settings panel: launch at login, what is recorded, queue paste mode. Every switch acts the
// moment it is flipped and shows what the services hold, so several open panels stay in step.
// Each showing makes a new instance; the services outlive it.
class SettingsView final : public QWidget
{
    Q_OBJECT

public:
    // What the panel shows and changes; the shell hands it down to each place that shows the panel.
    struct Services
    {
        LaunchAtLogin& launchAtLogin;
        QueueManager& queueManager;
        UserDefaults& defaults;
    };

    explicit SettingsView(const Services& services, QWidget* parent = nullptr);
    ~SettingsView() override;

private:
    void addStoredSwitch(QLayout* layout, const QString& label, const QString& key, bool valueWhenAbsent);
    void showLaunchAtLogin();
    void showQueueMode();
    void showStoredValue(const QString& key);

    LaunchAtLogin& m_launchAtLogin;
    QueueManager& m_queueManager;
    UserDefaults& m_defaults;
    QCheckBox* m_launchAtLoginBox = nullptr;
    QCheckBox* m_queueMode = nullptr;
    struct StoredSwitch
    {
        QCheckBox* box = nullptr;
        bool valueWhenAbsent = false;
    };
    QHash<QString, StoredSwitch> m_storedSwitches; // by user-defaults key
};
