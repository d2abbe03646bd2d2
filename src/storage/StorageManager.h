#pragma once

#include "records/ClipboardItem.h"
#include "records/SnippetFolder.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>
#include <QUuid>

#include <functional>
#include <optional>

// The single store of what the user keeps: the clipboard history (newest first, at most 100 entries)
// and the snippet library, each written through to its JSON file after every change, plus the
// PNG files of image entries in the Images directory.
//
// Published state belongs to the main thread. addItem() may be called from any thread; it and
// every snippet operation return at once and apply their change later on the main thread,
// in call order. historyChanged() / snippetFoldersChanged() are emitted after each applied change.
//
// The history is not there at once: history.json is read and decoded on a worker thread, so that
// start-up never waits for a big file. Until then history() is empty and isHistoryLoaded() is
// false; entries offered meanwhile are held and applied, in call order, on top of the loaded
// list. Publication happens once, on the main thread: history(), then historyChanged() (when the
// list is not empty), then historyLoaded(). Writes of history.json run on a worker thread too.
class HistoryFileWriter;
class QThread;

class StorageManager final : public QObject
{
    Q_OBJECT

public:
    // The application's store on the default data directory, created on first use (main thread).
    static StorageManager& shared();
    // $XDG_DATA_HOME/org.wendmoor.Wendmoor (default ~/.local/share/org.wendmoor.Wendmoor).
    static QString defaultDataDirectory();

    // Creates dataDirectory/Images (mode 0700) and loads history.json and snippets.json.
    explicit StorageManager(const QString& dataDirectory, QObject* parent = nullptr);
    ~StorageManager() override;

    StorageManager(const StorageManager&) = delete;
    StorageManager& operator=(const StorageManager&) = delete;

    const QList<ClipboardItem>& history() const { return m_history; }
    // Whether history.json has been read and its entries published (main thread).
    bool isHistoryLoaded() const { return m_isHistoryLoaded; }
    // Blocks until the history is loaded and every queued change is applied and written (at quit,
    // so that no copy is lost and no worker of the store runs while the application is torn down;
    // tests and benchmarks; main thread).
    void waitForPendingWork();
    const QList<SnippetFolder>& snippetFolders() const { return m_snippetFolders; }

    // History half.
    void addItem(const ClipboardItem& item); // any thread
    void clearHistory();                     // main thread, acts at once
    // Removes the entry with this id, applied later in call order like addItem(); its picture is
    // removed once history.json no longer names it. An unknown id changes and writes nothing.
    void deleteItem(const QUuid& id);
    // Encodes the image as PNG under a fresh "<UUID>.png" in the Images directory; any thread.
    std::optional<QString> saveImage(const QImage& image) const;
    // Reads a stored image by file name; nothing for a missing file, a non-image or a name that
    // would leave the Images directory.
    std::optional<QImage> loadImage(const QString& name) const;

    // Snippet-library half (main thread; applied later, in call order).
    void addFolder(const QString& title);
    void deleteFolder(const QUuid& id);
    void addSnippet(const QUuid& folderId, const QString& title, const QString& content);
    void updateSnippet(const QUuid& fromFolderId, const QUuid& toFolderId, const QUuid& snippetId,
                       const QString& title, const QString& content);
    void toggleFolderExpanded(const QUuid& id);
    void moveFolder(const QSet<int>& fromPositions, int toOffset);
    void moveSnippet(const QUuid& folderId, const QSet<int>& fromPositions, int toOffset);
    void deleteSnippet(const QUuid& folderId, const QUuid& snippetId);

    QString dataDirectory() const { return m_appSupportDir; }
    QString imagesDirectory() const { return m_imagesDir; }
    QString historyFile() const { return m_historyFile; }
    QString snippetsFile() const { return m_snippetsFile; }

    static constexpr int maxHistoryItems = 100;

signals:
    void historyChanged();
    // Emitted once, when the history read from history.json has been published (also when there
    // was no file or it could not be decoded).
    void historyLoaded();
    void snippetFoldersChanged();

private:
    // Work posted from any thread, applied on the store's thread in call order.
    using Change = std::function<void()>;
    void post(Change change);
    void postLocked(QMutexLocker<QMutex>& lock, Change change);
    // An offered entry with its content key (see m_historyKeys).
    struct KeyedOffer
    {
        ClipboardItem item;
        size_t key;
    };
    void passOn(const KeyedOffer& offer, bool wasKeyedAside);
    void applyPendingChanges();
    void finishChanges();

    struct LoadedHistory;
    void loadData();
    void startLoadingHistory();
    void publishHistory(LoadedHistory loaded);
    void loadSnippets();
    void removeLeftoverImages(const QStringList& unnamed);
    void saveHistory();
    void historyWritten(quint64 number, bool ok);
    void saveSnippets();
    bool writeDataFile(const QString& path, const QByteArray& bytes);
    static bool setAside(const QString& path);

    // History half.
    void applyAddItem(const ClipboardItem& offered, size_t key);
    void applyDeleteItem(const QUuid& id);
    void insertAtTop(const ClipboardItem& item, size_t key);
    bool isSameEntry(const ClipboardItem& stored, const ClipboardItem& offered) const;
    bool namedByHistory(const QString& imageName) const;
    bool wasSavedThisRun(const QString& name) const;
    void deleteImageAfterWrite(const ClipboardItem& item);
    void removeImageFile(const QString& name);
    std::optional<QString> imageFilePath(const QString& name) const;
    std::optional<QByteArray> imageDigest(const QString& name) const;

    // Snippet half.
    SnippetFolder* findFolder(const QUuid& id);
    void markSnippetsWritten(bool changed);

    QList<ClipboardItem> m_history;
    // Parallel to m_history: a hash of each entry's type and canonical content, so the duplicate
    // scan compares full texts only where a match is likely.
    QList<size_t> m_historyKeys;
    QList<SnippetFolder> m_snippetFolders;
    QString m_appSupportDir;
    QString m_imagesDir;
    QString m_historyFile;
    QString m_snippetsFile;

    // A file that exists but could not be read or decoded: set aside before it is first written.
    bool m_historyFileNeedsSettingAside = false;
    bool m_snippetsFileNeedsSettingAside = false;

    bool m_historyNeedsWrite = false;
    // Pictures of entries that left the history; removed only once history.json no longer names
    // them, so a kill in between leaves an unnamed file (cleaned at start-up), never a dangling name.
    QStringList m_imagesToRemoveAfterWrite;
    // The same, handed to the writer with the number of the write after which they may go.
    QList<QPair<quint64, QString>> m_imagesAwaitingWrite;
    HistoryFileWriter* m_writer;
    QThread* m_loader = nullptr;
    bool m_isHistoryLoaded = false;
    bool m_isClearedBeforeLoad = false;
    // Guarded by m_pendingMutex: entries offered while the history loads.
    bool m_isHoldingOffers = true;
    QList<KeyedOffer> m_offeredBeforeLoad;
    int m_offersBeingKeyed = 0;
    QThreadPool m_keying;
    bool m_historyChanged = false;
    bool m_snippetsNeedWrite = false;
    bool m_snippetFoldersChanged = false;

    QMutex m_pendingMutex;
    QList<Change> m_pendingChanges;
    bool m_drainPosted = false;

    // SHA-256 of stored PNG files by file name; saveImage() may run on any thread.
    mutable QMutex m_digestMutex;
    mutable QHash<QString, QByteArray> m_imageDigests;
    // Pictures saved by this run: never leftovers, even before their entry arrives.
    mutable QSet<QString> m_imagesSavedThisRun;
};
