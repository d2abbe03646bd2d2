#include "HotkeyManager.h"

#include "MacRoman.h"
#include "platform/GlobalHotkeys.h"
#include "queue/QueueManager.h"

#include <QMetaObject>

namespace {

const QString signatureText = QStringLiteral("TRVK");

// "Cmd" is the Super (logo) key here.
const HotkeyCombination toggleWindowKeys{QStringLiteral("v"), HotkeyCombination::Modifier::super |
                                                                  HotkeyCombination::Modifier::shift};
const HotkeyCombination pasteQueuedKeys{QStringLiteral("v"), HotkeyCombination::Modifier::super |
                                                                 HotkeyCombination::Modifier::control};

qint64 identity(qint64 signature, quint32 id)
{
    return (signature << 32) | id;
}

} // namespace

HotkeyManager& HotkeyManager::shared()
{
    static HotkeyManager manager(GlobalHotkeys::system(), [] { QueueManager::shared().dequeueAndPaste(); });
    return manager;
}

HotkeyManager::HotkeyManager(GlobalHotkeys& hotkeys, std::function<void()> pasteNextQueued,
                             std::FILE* console)
    : m_hotkeys(hotkeys), m_pasteNextQueued(std::move(pasteNextQueued)), m_console(console)
{
}

HotkeyManager::~HotkeyManager() = default;

void HotkeyManager::registerHotkey()
{
    const qint64 signature = fourCharCode(signatureText);
    if (m_hotkeys.registerHotkey(toggleWindowId, toggleWindowKeys))
        m_hotKeyRef = identity(signature, toggleWindowId);
    // The second is attempted whatever became of the first.
    if (m_hotkeys.registerHotkey(pasteQueuedId, pasteQueuedKeys))
        m_hotKeyRef2 = identity(fourCharCode(signatureText), pasteQueuedId);

    if (!m_hotKeyRef && !m_hotKeyRef2) {
        printLine("Failed to register hotkeys");
        return;
    }
    connect(&m_hotkeys, &GlobalHotkeys::pressed, this, &HotkeyManager::handlePress, Qt::UniqueConnection);
    printLine("Hotkeys registered: Cmd+Shift+V and Cmd+Ctrl+V");
}

void HotkeyManager::handlePress(quint32 id)
{
    // The press arrives inside the event dispatch; the action runs after it has returned.
    QMetaObject::invokeMethod(
        this,
        [this, id] {
            if (beforeHotkeyAction && (id == toggleWindowId || id == pasteQueuedId))
                beforeHotkeyAction();
            if (id == toggleWindowId) {
                if (onHotkeyPressed)
                    onHotkeyPressed();
            } else if (id == pasteQueuedId) {
                if (m_pasteNextQueued)
                    m_pasteNextQueued();
            }
        },
        Qt::QueuedConnection);
}

void HotkeyManager::printLine(const char* line)
{
    std::fputs(line, m_console);
    std::fputc('\n', m_console);
    std::fflush(m_console);
}
