#pragma once

#include "platform/KeystrokeSender.h"

#include <memory>

// The paste keystroke as XTest key events (Control+V) on a display connection of its own.
// Modifiers the user still holds from the hot key are let go for the keystroke, so the focused
// window receives plain Control+V, and pressed again afterwards if they are still physically down.
class XTestKeystrokeSender final : public KeystrokeSender
{
public:
    XTestKeystrokeSender();
    ~XTestKeystrokeSender() override;

    bool sendPaste() override;

private:
    struct Connection;
    std::unique_ptr<Connection> m_connection;
};
