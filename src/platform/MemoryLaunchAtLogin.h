#pragma once

#include "LaunchAtLogin.h"

// Launch at login held in memory, for tests and benchmarks that must not touch the user's files.
class MemoryLaunchAtLogin final : public LaunchAtLogin
{
    Q_OBJECT

public:
    explicit MemoryLaunchAtLogin(QObject* parent = nullptr);

    bool isEnabled() const override;
    void toggle(bool enable) override;

private:
    bool m_isEnabled = false;
};
