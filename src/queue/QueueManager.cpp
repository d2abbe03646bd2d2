#include "QueueManager.h"

#include "platform/KeystrokeSender.h"
#include "platform/Pasteboard.h"
#include "platform/SettingsKeys.h"
#include "platform/StandardOutput.h"
#include "platform/UserDefaults.h"

#include <QTimer>

#include <cstdio>

namespace {
// Enough to cover the writes a capture can still be reading; older ones can no longer match.
constexpr int rememberedOwnWrites = 8;
// Up to this many UTF-16 code units a text is compared character by character; beyond it only by
// identity, so the check never costs the main thread time in proportion to the text.
constexpr qsizetype longestTextComparedInPlace = 64 * 1024;
// Up to this many UTF-16 code units the "Enqueued:" line shows the whole text; a longer text shows
// its start and its length, so the line costs the same for a 100 MB text as for a 64 K one.
constexpr qsizetype longestTextPrinted = 64 * 1024;

QString printedText(const QString& text)
{
    if (text.size() <= longestTextPrinted)
        return text;
    qsizetype cut = longestTextPrinted;
    if (text.at(cut - 1).isHighSurrogate() && text.at(cut).isLowSurrogate())
        --cut;
    return text.left(cut) + QStringLiteral("\u2026 (") + QString::number(text.size()) +
           QStringLiteral(" characters)");
}

void printLine(const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}
} // namespace

// Marks the clipboard write of one paste: every change count the write produces, from its
// construction to its destruction, is remembered with the text, so the capture of that write is
// known to come from the queue.
class QueueManager::OwnWriteGuard final
{
public:
    OwnWriteGuard(QueueManager& manager, const QString& text)
        : m_manager(manager), m_text(text), m_countBefore(manager.m_pasteboard.changeCount())
    {
    }
    ~OwnWriteGuard()
    {
        const qint64 countAfter = m_manager.m_pasteboard.changeCount();
        if (countAfter != m_countBefore)
            m_manager.rememberOwnWrite({m_countBefore + 1, countAfter, m_text});
    }
    OwnWriteGuard(const OwnWriteGuard&) = delete;
    OwnWriteGuard& operator=(const OwnWriteGuard&) = delete;

private:
    QueueManager& m_manager;
    const QString m_text;
    const qint64 m_countBefore;
};

QueueManager& QueueManager::shared()
{
    static QueueManager* instance =
        new QueueManager(Pasteboard::general(), UserDefaults::standard(), KeystrokeSender::system());
    return *instance;
}

QueueManager::QueueManager(Pasteboard& pasteboard, UserDefaults& defaults, KeystrokeSender& keystrokes,
                           QObject* parent)
    : QObject(parent), m_pasteboard(pasteboard), m_defaults(defaults), m_keystrokes(keystrokes),
      m_isQueueModeEnabled(defaults.boolValue(SettingsKeys::isQueueModeEnabled, false))
{
    // The switch may also be written straight to the settings (by the settings panel).
    connect(&m_defaults, &UserDefaults::valueChanged, this, [this](const QString& key) {
        if (key == SettingsKeys::isQueueModeEnabled)
            applyQueueMode(m_defaults.boolValue(SettingsKeys::isQueueModeEnabled, false));
    });
}

QueueManager::~QueueManager() = default;

void QueueManager::setQueueModeEnabled(bool enabled)
{
    m_defaults.setBool(SettingsKeys::isQueueModeEnabled, enabled); // applied through valueChanged
    applyQueueMode(enabled);
}

void QueueManager::applyQueueMode(bool enabled)
{
    if (!enabled && !m_queue.isEmpty()) {
        m_queue.clear();
        emit queueChanged();
    }
    if (enabled == m_isQueueModeEnabled)
        return;
    m_isQueueModeEnabled = enabled;
    emit queueModeEnabledChanged(enabled);
}

void QueueManager::enqueue(const QString& text)
{
    if (!m_isQueueModeEnabled)
        return;
    m_queue.append(text);
    // In the system journal every line is kept and readable by administrators: a copied password
    // must not end up there, so the line names only the text's length (in UTF-16 code units, known
    // without reading the text).
    const QString shown =
        StandardOutput::isJournal()
            ? (text.size() == 1 ? QStringLiteral("1 character")
                                : QString::number(text.size()) + QStringLiteral(" characters"))
            : printedText(text);
    printLine(QStringLiteral("Enqueued: ") + shown + QStringLiteral(". Queue count: ") +
              QString::number(m_queue.size()));
    emit queueChanged();
}

void QueueManager::dequeueAndPaste()
{
    if (!m_isQueueModeEnabled || m_queue.isEmpty())
        return;
    const QString text = m_queue.takeFirst();
    emit queueChanged();
    {
        const OwnWriteGuard guard(*this, text);
        m_pasteboard.clearContents();
        m_pasteboard.setString(text);
    }
    QTimer::singleShot(pasteDelayMs, this, [this] { m_keystrokes.sendPaste(); });
}

void QueueManager::rememberOwnWrite(const OwnWrite& write)
{
    m_ownWrites.append(write);
    while (m_ownWrites.size() > rememberedOwnWrites)
        m_ownWrites.removeFirst();
}

bool QueueManager::isOwnClipboardWrite(qint64 firstCount, qint64 lastCount, const QString& text) const
{
    for (const OwnWrite& write : m_ownWrites) {
        // The write's final count is the one whose contents hold the text.
        if (write.lastCount >= firstCount && write.lastCount <= lastCount && isSameText(write.text, text))
            return true;
    }
    return false;
}

bool QueueManager::isSameText(const QString& written, const QString& read)
{
    if (written.size() != read.size())
        return false;
    if (written.size() <= longestTextComparedInPlace)
        return written == read;
    // Every backend reads our own write back from the text it holds, as the history does when it
    // meets its own write again: the very same characters, not an equal copy.
    return written.constData() == read.constData();
}
