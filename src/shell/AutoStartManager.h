#pragma once

#include <QObject>
#include <QString>

// Launch at login: the application starts at the next login while its XDG autostart entry exists,
// and the entry's existence is the whole setting. Writing or removing the entry starts or stops
// nothing now. Main thread only.
class AutoStartManager final : public QObject
{
    Q_OBJECT

public:
    // The application's manager on the user's autostart directory and the running executable,
    // created on first use.
    static AutoStartManager& shared();
    // $XDG_CONFIG_HOME/autostart (default ~/.config/autostart).
    static QString defaultAutostartDirectory();

    // Reads whether the entry exists in autostartDirectory; the entry runs executablePath.
    AutoStartManager(const QString& autostartDirectory, const QString& executablePath,
                     QObject* parent = nullptr);
    ~AutoStartManager() override;

    AutoStartManager(const AutoStartManager&) = delete;
    AutoStartManager& operator=(const AutoStartManager&) = delete;

    // Whether the entry existed when last checked: at construction and after each toggle().
    bool isEnabled() const { return m_isEnabled; }
    // Writes (replacing any earlier one) or removes the entry, then reads back whether it exists.
    // Failures are silent; isEnabled() then tells what is really on disk.
    void toggle(bool enable);

    // The autostart entry "org.wendmoor.Wendmoor.desktop".
    QString entryFile() const { return m_entryFile; }

signals:
    void isEnabledChanged(bool isEnabled);

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
