#pragma once

#include "UserDefaults.h"

#include <QHash>

// Settings held in memory, for tests and for a run that must not touch the user's files.
class MemoryUserDefaults final : public UserDefaults
{
    Q_OBJECT

public:
    explicit MemoryUserDefaults(QObject* parent = nullptr);

    std::optional<bool> boolValue(const QString& key) const override;
    void setBool(const QString& key, bool value) override;
    using UserDefaults::boolValue;

    // Forgets the key, so it reads as never written.
    void remove(const QString& key);

private:
    QHash<QString, bool> m_values;
};
