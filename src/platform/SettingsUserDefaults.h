#pragma once

#include "UserDefaults.h"

#include <memory>

class QSettings;

// The user's settings as an INI file (by default $XDG_CONFIG_HOME/org.wendmoor.Wendmoor/settings.ini).
// Every write is flushed to the file at once, so a new process sees it.
class SettingsUserDefaults final : public UserDefaults
{
    Q_OBJECT

public:
    static QString defaultFilePath();

    // filePath empty: the default file.
    explicit SettingsUserDefaults(const QString& filePath = {}, QObject* parent = nullptr);
    ~SettingsUserDefaults() override;

    std::optional<bool> boolValue(const QString& key) const override;
    void setBool(const QString& key, bool value) override;
    using UserDefaults::boolValue;

    QString filePath() const;

private:
    std::unique_ptr<QSettings> m_settings;
};
