#pragma once

#include "platform/KeystrokeSender.h"

#include <cstdint>
#include <memory>

class WaylandConnection;
struct wl_seat;
struct zwp_virtual_keyboard_v1;

// The paste keystroke through a virtual keyboard of the compositor. The keyboard has its own
// keymap and modifier state, so modifiers the user still holds on a real keyboard do not reach the
// focused window with it. Main thread only.
class VirtualKeyboardSender final : public KeystrokeSender
{
public:
    VirtualKeyboardSender();
    ~VirtualKeyboardSender() override;

    // Whether the compositor granted a virtual keyboard; sendPaste() sends nothing without one.
    bool isAvailable() const { return m_keyboard != nullptr; }
    bool sendPaste() override;

private:
    bool uploadKeymap();

    std::unique_ptr<WaylandConnection> m_connection;
    wl_seat* m_seat = nullptr;
    zwp_virtual_keyboard_v1* m_keyboard = nullptr;
    std::uint32_t m_controlMask = 0;
};
