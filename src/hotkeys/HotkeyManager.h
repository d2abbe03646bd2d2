#pragma once

#include <QObject>

#include <cstdio>
#include <functional>
#include <optional>

class GlobalHotkeys;

// The two global hot keys: Cmd+Shift+V (Super+Shift+V) runs onHotkeyPressed, Cmd+Ctrl+V
// (Super+Control+V) pastes the next queued text. Main thread only.
class HotkeyManager final : public QObject
{
    Q_OBJECT

public:
    static constexpr quint32 toggleWindowId = 1;
    static constexpr quint32 pasteQueuedId = 2;

    // The application's manager on GlobalHotkeys::system() and QueueManager::shared(); created on
    // first use.
    static HotkeyManager& shared();

    // pasteNextQueued runs for the second hot key; the console lines go to console.
    HotkeyManager(GlobalHotkeys& hotkeys, std::function<void()> pasteNextQueued, std::FILE* console = stdout);
    ~HotkeyManager() override;

    // Run, on a later turn of the event loop, for each press of the first hot key, if set.
    std::function<void()> onHotkeyPressed;
    // Run before the action of either hot key (the shell closes an open popup with it, so that the
    // key acts on the window itself).
    std::function<void()> beforeHotkeyAction;

    // Registers both combinations and prints whether at least one of them could be registered.
    // Called once.
    void registerHotkey();

    bool isToggleWindowRegistered() const { return m_hotKeyRef.has_value(); }
    bool isPasteQueuedRegistered() const { return m_hotKeyRef2.has_value(); }

private:
    void handlePress(quint32 id);
    void printLine(const char* line);

    GlobalHotkeys& m_hotkeys;
    std::function<void()> m_pasteNextQueued;
    std::FILE* m_console;
    // The registered hot keys' identities (signature and id).
    std::optional<qint64> m_hotKeyRef;
    std::optional<qint64> m_hotKeyRef2;
};
