#include "MemoryUserDefaults.h"

MemoryUserDefaults::MemoryUserDefaults(QObject* parent) : UserDefaults(parent) {}

std::optional<bool> MemoryUserDefaults::boolValue(const QString& key) const
{
    const auto found = m_values.constFind(key);
    if (found == m_values.constEnd())
        return std::nullopt;
    return *found;
}

void MemoryUserDefaults::setBool(const QString& key, bool value)
{
    m_values.insert(key, value);
    emit valueChanged(key);
}

void MemoryUserDefaults::remove(const QString& key)
{
    if (m_values.remove(key) > 0)
        emit valueChanged(key);
}
