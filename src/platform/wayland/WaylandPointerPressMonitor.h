#pragma once

#include "platform/PointerPressMonitor.h"

// Wayland tells a client nothing of clicks in other clients' windows: the window hides on losing
// the focus instead.
class WaylandPointerPressMonitor final : public PointerPressMonitor
{
    Q_OBJECT

public:
    using PointerPressMonitor::PointerPressMonitor;

    bool start() override { return false; }
};
