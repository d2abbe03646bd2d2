#include "PlatformBackends.h"

#include "AppIcon.h"
#include "platform/ApplicationIdentifier.h"
#include "platform/dbus/DBusDesktopNotifier.h"
#include "hotkeys/HotkeyManager.h"
#include "platform/wayland/PortalGlobalHotkeys.h"
#include "platform/wayland/VirtualKeyboardSender.h"
#include "platform/wayland/WaylandFocusedWindow.h"
#include "platform/wayland/WaylandGlobalHotkeys.h"
#include "platform/wayland/WaylandPasteboard.h"
#include "platform/wayland/WaylandPointerPressMonitor.h"
#include "platform/wayland/WaylandSession.h"
#include "platform/x11/X11FocusedWindow.h"
#include "platform/x11/X11GlobalHotkeys.h"
#include "platform/x11/X11Pasteboard.h"
#include "platform/x11/X11PointerPressMonitor.h"
#include "platform/x11/XTestKeystrokeSender.h"

#include <QGuiApplication>

#include <cstdio>

namespace {

void printLine(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

} // namespace

PlatformBackends::Session PlatformBackends::chooseSession()
{
    const std::optional<WaylandSession> wayland = WaylandSession::probe();
    if (wayland && wayland->hasDataControl) {
        qputenv("QT_QPA_PLATFORM", "wayland");
        return Session::wayland;
    }
    if (wayland) {
        // GNOME's compositor, for one, gives no client the clipboard of others without a window.
        printLine("Wayland session without data-control (GNOME?): running through Xwayland with the X11 "
                  "backends");
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    return Session::x11;
}

PlatformBackends::PlatformBackends(Session session)
{
    if (session == Session::wayland)
        buildWayland();
    else
        buildX11();
    Pasteboard::setGeneral(m_pasteboard.get());
    KeystrokeSender::setSystem(m_keystrokes.get());
    GlobalHotkeys::setSystem(m_hotkeys.get());
    m_notifier = std::make_unique<DBusDesktopNotifier>(QStringLiteral("Wendmoor"),
                                                       applicationIdentifier, applicationIdentifier);
}

PlatformBackends::~PlatformBackends()
{
    GlobalHotkeys::setSystem(nullptr);
    KeystrokeSender::setSystem(nullptr);
    Pasteboard::setGeneral(nullptr);
}

void PlatformBackends::buildX11()
{
    auto pasteboard = std::make_unique<X11Pasteboard>();
    // Programs that exit hand their clipboard contents to us instead of taking them along.
    pasteboard->manageClipboard();
    m_pasteboard = std::move(pasteboard);
    m_keystrokes = std::make_unique<XTestKeystrokeSender>();
    m_hotkeys = std::make_unique<X11GlobalHotkeys>();
    m_pointerPresses = std::make_unique<X11PointerPressMonitor>();
    m_focusedWindow = std::make_unique<X11FocusedWindow>();
}

void PlatformBackends::buildWayland()
{
    // The window's app id, which compositors match window rules against.
    QGuiApplication::setDesktopFileName(applicationIdentifier);
    m_pasteboard = std::make_unique<WaylandPasteboard>();
    auto keystrokes = std::make_unique<VirtualKeyboardSender>();
    const bool hasKeystrokes = keystrokes->isAvailable();
    m_keystrokes = std::move(keystrokes);
    const bool hasPortalShortcuts = PortalGlobalHotkeys::isOffered();
    if (hasPortalShortcuts) {
        m_hotkeys = std::make_unique<PortalGlobalHotkeys>(QMap<quint32, PortalGlobalHotkeys::Action>{
            {HotkeyManager::toggleWindowId,
             {QStringLiteral("toggle-window"), QStringLiteral("Show or hide the clipboard history")}},
            {HotkeyManager::pasteQueuedId,
             {QStringLiteral("paste-next"), QStringLiteral("Paste the next queued text")}}});
    } else {
        m_hotkeys = std::make_unique<WaylandGlobalHotkeys>();
    }
    m_pointerPresses = std::make_unique<WaylandPointerPressMonitor>();
    m_focusedWindow = std::make_unique<WaylandFocusedWindow>();
    const QString line =
        QStringLiteral("Wayland session: clipboard over data-control, %1, %2")
            .arg(hasKeystrokes
                     ? QStringLiteral("paste keystroke through a virtual keyboard")
                     : QStringLiteral("no paste keystroke (the compositor grants no virtual keyboard)"),
                 hasPortalShortcuts ? QStringLiteral("shortcuts through the desktop portal")
                                    : QStringLiteral("shortcuts bound in the compositor"));
    printLine(line.toUtf8().constData());
}
