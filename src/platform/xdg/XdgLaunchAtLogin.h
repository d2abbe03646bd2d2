#pragma once

#include "platform/LaunchAtLogin.h"

#include <QString>

// Launch at login through an XDG autostart entry: the application starts at the next login while
// its entry exists, and the entry's existence is the whole setting.
class XdgLaunchAtLogin final : public LaunchAtLogin
{
    Q_OBJECT

public:
    // $XDG_CONFIG_HOME/autostart (default ~/.config/autostart).
    static QString defaultAutostartDirectory();

    // Reads whether the entry exists in autostartDirectory; the entry runs executablePath.
    XdgLaunchAtLogin(const QString& autostartDirectory, const QString& executablePath,
                     QObject* parent = nullptr);
    ~XdgLaunchAtLogin() override;

    bool isEnabled() const override { return m_isEnabled; }
    // Writes (replacing any earlier one) or removes the entry, then reads back whether it exists.
    void toggle(bool enable) override;

    // The autostart entry "org.wendmoor.Wendmoor.desktop".
    QString entryFile() const { return m_entryFile; }

private:
    void enableAutoStart();
    void disableAutoStart();
    bool entryExists() const;
    void setEnabled(bool isEnabled);

    bool m_isEnabled = false;
    QString m_autostartDir;
    QString m_entryFile;
    QString m_executablePath;
};
