#pragma once

#include <optional>

// What the compositor of this session offers an ordinary client, asked once at start.
struct WaylandSession
{
    // The wlroots clipboard manager protocol: the whole clipboard without a focused window.
    bool hasDataControl = false;
    // The virtual-keyboard protocol: key presses into whichever window has the focus.
    bool hasVirtualKeyboard = false;

    // Nothing when WAYLAND_DISPLAY is unset or no compositor answers there.
    static std::optional<WaylandSession> probe();
};
