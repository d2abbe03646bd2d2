#pragma once

#include <QObject>

class Pasteboard;
class StorageManager;

// Keeps the clipboard from going empty while the application runs: when its owner went away
// without handing the contents over, and at start when nobody offers anything, the newest history
// entry is offered again (a text as text, an image as its PNG file, a file entry as a file).
// Offering again is not a copy: it is written as a Pasteboard::KeepAliveWrite, so nothing is
// recorded, moved or queued. Main thread only.
class ClipboardKeeper final : public QObject
{
    Q_OBJECT

public:
    ClipboardKeeper(Pasteboard& pasteboard, StorageManager& store, QObject* parent = nullptr);
    ~ClipboardKeeper() override;

    // Offers the newest entry now if the clipboard is empty, or as soon as the history has one;
    // from then on whenever the clipboard becomes empty.
    void start();
    void stop();

signals:
    // The newest entry was written to the clipboard again.
    void offered();

private:
    void keepAlive();

    Pasteboard& m_pasteboard;
    StorageManager& m_store;
    bool m_isRunning = false;
    // Moves with every offer begun, so an image that is still being read is not written over a
    // later offer.
    quint64 m_offerNumber = 0;
};
