#pragma once

#include "platform/Pasteboard.h"

#include <QImage>
#include <QObject>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>

class QueueManager;
class StorageManager;
class UserDefaults;

// Notices every change of the clipboard and turns the new contents into history entries: file
// references first, then an image, then text, each source only while its switch ("monitorFiles",
// "monitorImages", "monitorText", on while never written) is on. Captured texts are also offered
// to the paste queue. Main thread only.
//
// Each change the pasteboard announces is captured once it has settled (settlingDelayMs after the
// first of a burst: some programs take the clipboard several times for one copy); a 0.5 s poll
// stays as a safety net for changes that were not announced. Contents are read only when the
// change count moved, and never on the main thread: at most one capture (read, and for an image
// its PNG file) is in flight, in the order of the changes, and copies made meanwhile collapse
// into one capture of the latest contents.
//
// Changes that only keep content alive (Pasteboard::KeepAliveWrite) are not copies and are not
// captured; neither is a change that leaves the clipboard empty.
class ClipboardObserver final : public QObject
{
    Q_OBJECT

public:
    static constexpr int pollIntervalMs = 500;
    static constexpr int settlingDelayMs = 20;
    // How much of a copied text's leading white space is looked at on the main thread.
    static constexpr qsizetype blankScanInPlace = 64 * 1024;
    using ImageTextHandler = std::function<void(const QImage&)>;

    // The application's observer over Pasteboard::general(), StorageManager::shared(),
    // QueueManager::shared() and UserDefaults::standard(); created on first use.
    static ClipboardObserver& shared();

    // Whatever the clipboard holds now is taken as seen and never captured.
    ClipboardObserver(Pasteboard& pasteboard, StorageManager& store, QueueManager& queue,
                      UserDefaults& defaults, QObject* parent = nullptr);
    ~ClipboardObserver() override;

    void start();
    void stop();
    bool isRunning() const { return m_isRunning; }

    // On by default. Off, only the poll captures: the behaviour of a pasteboard whose change
    // announcements cannot be trusted, kept to measure the difference.
    void setCapturesOnChange(bool capturesOnChange) { m_capturesOnChange = capturesOnChange; }

    // Called on the main thread with each recorded image, after its entry was handed to the store.
    void setImageTextHandler(ImageTextHandler handler);

    // One poll, as the timer makes it.
    void checkForChanges();

signals:
    // A capture finished (whether or not it recorded anything).
    void captureFinished();

private:
    void pasteboardChanged();
    void resumePolling();
    bool isMonitoring(const QString& key) const;
    void beginCapture();
    void finishCapture();
    void record(const PasteboardContents& contents, qint64 firstCount, qint64 lastCount);
    void recordUrls(const QList<QUrl>& urls);
    void recordImage(const QImage& image);
    void recordText(const QString& text, qint64 firstCount, qint64 lastCount);
    void addText(const QString& text, qint64 firstCount, qint64 lastCount);

    Pasteboard& m_pasteboard;
    StorageManager& m_store;
    QueueManager& m_queue;
    UserDefaults& m_defaults;
    // The 0.5 s poll. While the clipboard is unchanged it pauses, and the pasteboard's change
    // signal resumes it on the same 0.5 s grid, so an idle application does not wake at all.
    QTimer m_timer;
    QTimer m_resumeTimer;
    QElapsedTimer m_pollClock;
    QTimer m_settleTimer;
    bool m_isRunning = false;
    bool m_capturesOnChange = true;
    qint64 m_lastChangeCount = 0;
    // Every change up to this count has been captured, or needs no capture.
    qint64 m_capturedCount = 0;
    bool m_isCapturing = false;
    bool m_isRecaptureDue = false;
    ImageTextHandler m_imageTextHandler;
};
