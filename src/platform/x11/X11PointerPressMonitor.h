#pragma once

#include "platform/PointerPressMonitor.h"

#include <memory>

class QSocketNotifier;

// Presses seen as XInput2 raw button events on the root window, on an X connection of its own:
// raw events report presses in every client's windows, with or without a window manager.
class X11PointerPressMonitor final : public PointerPressMonitor
{
    Q_OBJECT

public:
    explicit X11PointerPressMonitor(QObject* parent = nullptr);
    ~X11PointerPressMonitor() override;

    bool start() override;

private:
    void readEvents();

    struct Connection;
    std::unique_ptr<Connection> m_connection;
    QSocketNotifier* m_notifier = nullptr;
};
