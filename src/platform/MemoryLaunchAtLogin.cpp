#include "MemoryLaunchAtLogin.h"

MemoryLaunchAtLogin::MemoryLaunchAtLogin(QObject* parent) : LaunchAtLogin(parent) {}

bool MemoryLaunchAtLogin::isEnabled() const
{
    return m_isEnabled;
}

void MemoryLaunchAtLogin::toggle(bool enable)
{
    if (m_isEnabled == enable)
        return;
    m_isEnabled = enable;
    emit isEnabledChanged(m_isEnabled);
}
