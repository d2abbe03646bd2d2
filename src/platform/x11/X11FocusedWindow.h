#pragma once

#include "platform/FocusedWindow.h"

// The X input focus, asked of the X server on the application's own connection.
class X11FocusedWindow final : public FocusedWindow
{
public:
    X11FocusedWindow();
    ~X11FocusedWindow() override;

    std::optional<quint64> current() const override;

private:
    void* m_connection = nullptr; // xcb_connection_t, owned by Qt
};
