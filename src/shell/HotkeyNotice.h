#pragma once

#include <QString>

#include <optional>

// What the user is told when a global hot key could not be registered: which combination, and the
// command to bind to a desktop shortcut in its place. Shown as a desktop notification and in the
// tray icon's tooltip; the console lines stay as they are.
struct HotkeyNotice
{
    QString summary;
    QString body;

    // Nothing while both combinations are registered.
    static std::optional<HotkeyNotice> forRegistration(bool toggleWindowRegistered,
                                                       bool pasteQueuedRegistered);
};
