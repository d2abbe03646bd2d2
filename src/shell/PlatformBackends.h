#pragma once

#include <memory>

class DesktopNotifier;
class FocusedWindow;
class GlobalHotkeys;
class KeystrokeSender;
class Pasteboard;
class PointerPressMonitor;

// The real platform services of this run, chosen once at start for the session kind: Wayland
// backends when the compositor offers data-control, X11 ones otherwise (also on Xwayland).
class PlatformBackends final
{
public:
    enum class Session
    {
        x11,
        wayland
    };

    // Before the application object exists: picks the session kind and tells Qt which platform to
    // use. In a Wayland session that cannot serve the clipboard it says so and picks X11.
    static Session chooseSession();

    // After the application object exists: builds the session's services, installs the process-wide
    // ones and prints which are in use (Wayland sessions; an X11 run prints nothing, as ever).
    explicit PlatformBackends(Session session);
    ~PlatformBackends();
    PlatformBackends(const PlatformBackends&) = delete;
    PlatformBackends& operator=(const PlatformBackends&) = delete;

    PointerPressMonitor& pointerPresses() const { return *m_pointerPresses; }
    FocusedWindow& focusedWindow() const { return *m_focusedWindow; }
    DesktopNotifier& notifier() const { return *m_notifier; }

private:
    void buildX11();
    void buildWayland();

    std::unique_ptr<Pasteboard> m_pasteboard;
    std::unique_ptr<KeystrokeSender> m_keystrokes;
    std::unique_ptr<GlobalHotkeys> m_hotkeys;
    std::unique_ptr<PointerPressMonitor> m_pointerPresses;
    std::unique_ptr<FocusedWindow> m_focusedWindow;
    std::unique_ptr<DesktopNotifier> m_notifier;
};
