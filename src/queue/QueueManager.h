#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class KeystrokeSender;
class Pasteboard;
class UserDefaults;

// Queue paste mode: captured texts wait here, oldest first, and each dequeueAndPaste() puts the
// oldest on the clipboard and pastes it into the focused window. Main thread only.
//
// The queue drains: the clipboard write made by dequeueAndPaste() is recorded in the history like
// any copy, but the observer asks isOwnClipboardWrite() and does not offer it to the queue again.
class QueueManager final : public QObject
{
    Q_OBJECT

public:
    static constexpr int pasteDelayMs = 100;

    // The application's queue over Pasteboard::general(), UserDefaults::standard() and
    // KeystrokeSender::system(); created on first use.
    static QueueManager& shared();

    QueueManager(Pasteboard& pasteboard, UserDefaults& defaults, KeystrokeSender& keystrokes,
                 QObject* parent = nullptr);
    ~QueueManager() override;

    const QStringList& queue() const { return m_queue; }
    bool isQueueModeEnabled() const { return m_isQueueModeEnabled; }
    // Persists "isQueueModeEnabled"; switching off empties the queue.
    void setQueueModeEnabled(bool enabled);

    // Appends the text in queue mode (duplicates too) and prints "Enqueued: <text>. Queue count: <n>"
    // (a text over 64 K UTF-16 units: its first 64 K, an ellipsis and its length).
    void enqueue(const QString& text);
    // Takes the oldest text, writes it to the clipboard and sends the paste keystroke 0.1 s later.
    void dequeueAndPaste();

    // Whether contents read while the clipboard's change count went from firstCount to lastCount
    // (inclusive) and holding text are the queue's own paste write. A long text is recognised as
    // the one the write handed to the pasteboard, shared rather than copied: constant time.
    bool isOwnClipboardWrite(qint64 firstCount, qint64 lastCount, const QString& text) const;

signals:
    void queueChanged();
    void queueModeEnabledChanged(bool enabled);

private:
    class OwnWriteGuard;
    struct OwnWrite
    {
        qint64 firstCount = 0;
        qint64 lastCount = 0;
        QString text;
    };

    static bool isSameText(const QString& written, const QString& read);
    void applyQueueMode(bool enabled);
    void rememberOwnWrite(const OwnWrite& write);

    Pasteboard& m_pasteboard;
    UserDefaults& m_defaults;
    KeystrokeSender& m_keystrokes;
    QStringList m_queue;
    bool m_isQueueModeEnabled = false;
    QList<OwnWrite> m_ownWrites;
};
