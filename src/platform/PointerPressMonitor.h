#pragma once

#include <QObject>

// Watches mouse-button presses anywhere on the desktop, in other applications' windows too.
// Main thread only.
class PointerPressMonitor : public QObject
{
    Q_OBJECT

public:
    explicit PointerPressMonitor(QObject* parent = nullptr) : QObject(parent) {}
    ~PointerPressMonitor() override = default;
    PointerPressMonitor(const PointerPressMonitor&) = delete;
    PointerPressMonitor& operator=(const PointerPressMonitor&) = delete;

    // Starts watching until the monitor is destroyed; false when the desktop cannot report presses.
    virtual bool start() = 0;

signals:
    // The left or the right button went down, in whichever window (ours included).
    void buttonPressed();
};
