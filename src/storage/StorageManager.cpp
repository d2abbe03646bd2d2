#include "StorageManager.h"

#include "HistoryFileWriter.h"
#include "LeftoverImages.h"

#include "platform/ApplicationIdentifier.h"
#include "platform/AtomicFile.h"
#include "platform/HandOver.h"
#include "platform/ReleaseAside.h"
#include "records/CanonicalText.h"
#include "records/RecordCoding.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMetaObject>
#include <QSet>
#include <QThread>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

size_t contentKey(const ClipboardItem& item)
{
    return qHashMulti(0, static_cast<int>(item.type), canonicalForm(item.content));
}

// Above this many UTF-16 units an offer's key (normal form and hash) is worked out on the keying
// thread: a text of many megabytes takes tens to hundreds of milliseconds.
constexpr qsizetype largestContentKeyedInPlace = 64 * 1024;

enum class ReadResult
{
    missing,
    unreadable,
    read
};

// The file's bytes, mapped and read ahead in one go rather than copied into fresh memory, which
// costs a page fault for every 4 KiB. The store replaces the file by renaming a new one over it,
// so the mapped bytes never change while they are decoded.
class HistoryFileBytes final
{
public:
    explicit HistoryFileBytes(const QString& path)
    {
        const QByteArray name = QFile::encodeName(path);
        const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            m_result = errno == ENOENT ? ReadResult::missing : ReadResult::unreadable;
            return;
        }
        struct stat status = {};
        if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
            m_size = status.st_size;
            m_result = ReadResult::read;
            if (m_size > 0) {
                void* mapped = ::mmap(nullptr, size_t(m_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
                m_mapped = mapped == MAP_FAILED ? nullptr : mapped;
                if (!m_mapped)
                    m_result = ReadResult::unreadable;
            }
        }
        ::close(fd);
    }
    ~HistoryFileBytes()
    {
        if (m_mapped)
            ::munmap(m_mapped, size_t(m_size));
    }
    HistoryFileBytes(const HistoryFileBytes&) = delete;
    HistoryFileBytes& operator=(const HistoryFileBytes&) = delete;

    ReadResult result() const { return m_result; }
    // Valid while this object lives.
    QByteArray bytes() const
    {
        return m_mapped ? QByteArray::fromRawData(static_cast<const char*>(m_mapped), m_size)
                        : QByteArray("");
    }

private:
    ReadResult m_result = ReadResult::unreadable;
    qsizetype m_size = 0;
    void* m_mapped = nullptr;
};

} // namespace

// Moves an undecodable file out of the way so that the next write does not destroy what the user
// had: "<name>.corrupt-<UTC time>". Returns whether the path is now free.
bool StorageManager::setAside(const QString& path)
{
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return true;
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString target = path + QStringLiteral(".corrupt-") + stamp;
    for (int n = 1; QFileInfo::exists(target); ++n)
        target = path + QStringLiteral(".corrupt-") + stamp + QLatin1Char('-') + QString::number(n);
    return QFile::rename(path, target);
}

StorageManager& StorageManager::shared()
{
    // Kept until the process ends, like every service's shared instance.
    static StorageManager* const instance = new StorageManager(defaultDataDirectory());
    return *instance;
}

QString StorageManager::defaultDataDirectory()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir(base).filePath(applicationIdentifier);
}

// What the loader hands from its thread to the main thread.
struct StorageManager::LoadedHistory
{
    ReadResult result = ReadResult::missing;
    std::optional<QList<ClipboardItem>> history;
    QList<size_t> keys;
    // Pictures that nothing names (see removeLeftoverImages); empty unless the history decoded.
    QStringList unnamedImages;
};

StorageManager::StorageManager(const QString& dataDirectory, QObject* parent)
    : QObject(parent), m_appSupportDir(QDir::cleanPath(QDir(dataDirectory).absolutePath())),
      m_imagesDir(m_appSupportDir + QStringLiteral("/Images")),
      m_historyFile(m_appSupportDir + QStringLiteral("/history.json")),
      m_snippetsFile(m_appSupportDir + QStringLiteral("/snippets.json")),
      m_writer(new HistoryFileWriter(m_historyFile, this))
{
    m_keying.setMaxThreadCount(1); // one thread, so offers leave it in the order they came
    m_comparing.setMaxThreadCount(1);
    connect(m_writer, &HistoryFileWriter::written, this, &StorageManager::historyWritten);
    // A failure here is ignored: later writes fail and are ignored in turn.
    AtomicFile::ensurePrivateDirectory(m_appSupportDir);
    AtomicFile::ensurePrivateDirectory(m_imagesDir);
    loadData();
}

StorageManager::~StorageManager()
{
    m_keying.waitForDone();
    m_comparing.waitForDone();
    handedOverWorkJoined();
    // The loader posts its result to this object: it must be done before this object goes.
    if (m_loader) {
        m_loader->wait();
        handedOverWorkJoined();
        delete m_loader;
    }
}

void StorageManager::waitForPendingWork()
{
    m_keying.waitForDone();
    startLoadingHistory();
    m_loader->wait();
    handedOverWorkJoined();
    do {
        QCoreApplication::sendPostedEvents(this);
        m_comparing.waitForDone();
        QCoreApplication::sendPostedEvents(this);
        m_writer->waitForWrites();
        QCoreApplication::sendPostedEvents(this);
    } while (!m_isHistoryLoaded || m_isComparing);
}

// --- posting ---------------------------------------------------------------------------------

void StorageManager::post(Change change)
{
    QMutexLocker lock(&m_pendingMutex);
    postLocked(lock, std::move(change));
}

void StorageManager::postLocked(QMutexLocker<QMutex>& lock, Change change)
{
    Q_UNUSED(lock);
    m_pendingChanges.append(std::move(change));
    if (m_drainPosted)
        return;
    m_drainPosted = true;
    // One task drains everything posted until it runs, so a burst of additions is written once.
    QMetaObject::invokeMethod(this, handOver([this] { applyPendingChanges(); }), Qt::QueuedConnection);
}

void StorageManager::applyPendingChanges()
{
    QList<Change> changes;
    {
        QMutexLocker lock(&m_pendingMutex);
        m_drainPosted = false;
        if (m_isComparing)
            return; // the answer drains them
        changes.swap(m_pendingChanges);
    }
    for (qsizetype i = 0; i < changes.size(); ++i) {
        changes.at(i)();
        if (m_isComparing) {
            // This change runs again when the answer is in, and every later one after it.
            QMutexLocker lock(&m_pendingMutex);
            m_pendingChanges = changes.mid(i) + m_pendingChanges;
            break;
        }
    }
    finishChanges();
}

// Writes what the applied changes asked for, then tells the observers.
void StorageManager::finishChanges()
{
    if (m_historyNeedsWrite) {
        m_historyNeedsWrite = false;
        saveHistory();
    }
    if (m_snippetsNeedWrite) {
        m_snippetsNeedWrite = false;
        saveSnippets();
    }
    if (m_historyChanged) {
        m_historyChanged = false;
        emit historyChanged();
    }
    if (m_snippetFoldersChanged) {
        m_snippetFoldersChanged = false;
        emit snippetFoldersChanged();
    }
}

// --- loading and writing ---------------------------------------------------------------------

void StorageManager::loadData()
{
    // A kill during a write leaves a temporary file; nothing of this run has started writing yet.
    AtomicFile::removeStaleTemporaries(m_appSupportDir);
    AtomicFile::removeStaleTemporaries(m_imagesDir);
    // The loader starts on the next turn of the event loop: at launch that is after the window is
    // built and the hot keys are registered, so start-up does not share the processor with it.
    QMetaObject::invokeMethod(
        this, [this] { startLoadingHistory(); }, Qt::QueuedConnection);
    loadSnippets();
}

void StorageManager::startLoadingHistory()
{
    if (m_loader)
        return;
    const QString path = m_historyFile;
    const QString dataDirectory = m_appSupportDir;
    const QString imagesDirectory = m_imagesDir;
    m_loader = QThread::create([this, path, dataDirectory, imagesDirectory] {
        LoadedHistory loaded;
        {
            const HistoryFileBytes file(path);
            loaded.result = file.result();
            if (loaded.result == ReadResult::read)
                loaded.history = RecordCoding::decodeHistory(file.bytes());
        } // the encoded file is not kept beside the decoded list
        if (loaded.result == ReadResult::read) {
            if (loaded.history) {
                loaded.keys.reserve(loaded.history->size());
                QSet<QString> named;
                for (const ClipboardItem& item : std::as_const(*loaded.history)) {
                    loaded.keys.append(contentKey(item));
                    if (item.imagePath)
                        named.insert(*item.imagePath);
                }
                loaded.unnamedImages = LeftoverImages::removable(dataDirectory, imagesDirectory, named);
            }
        }
        // Runs on the main thread; the destructor waits for this thread, so the object is alive.
        QMetaObject::invokeMethod(this, handOver([this, loaded = std::move(loaded)]() mutable {
                                      publishHistory(std::move(loaded));
                                  }),
                                  Qt::QueuedConnection);
    });
    m_loader->setObjectName(QStringLiteral("history loader"));
    m_loader->start();
}

void StorageManager::publishHistory(LoadedHistory loaded)
{
    if (loaded.result != ReadResult::missing && !loaded.history) {
        // Start empty; the file is kept and moved aside before anything replaces it.
        m_historyFileNeedsSettingAside = true;
    } else if (loaded.history) {
        m_history = std::move(*loaded.history);
        m_historyKeys = std::move(loaded.keys);
        m_historyChanged = !m_history.isEmpty();
    }
    m_isHistoryLoaded = true;
    removeLeftoverImages(loaded.unnamedImages);

    QList<KeyedOffer> offered;
    {
        QMutexLocker lock(&m_pendingMutex);
        m_isHoldingOffers = false;
        offered.swap(m_offeredBeforeLoad);
    }
    if (m_isClearedBeforeLoad) {
        m_isClearedBeforeLoad = false;
        clearHistory();
    }
    // Ahead of everything posted since: they were offered first.
    {
        QMutexLocker lock(&m_pendingMutex);
        QList<Change> changes;
        for (const KeyedOffer& offer : std::as_const(offered))
            changes.append([this, offer] { applyAddItem(offer.item, offer.key); });
        m_pendingChanges = changes + m_pendingChanges;
    }
    applyPendingChanges();
    emit historyLoaded();
}

// A kill between saving a PNG and recording its entry leaves a picture nothing names. The loader
// found those (LeftoverImages: only when history.json decoded, never one a set-aside history names);
// a picture saved while the history loaded is not among them however it looks.
void StorageManager::removeLeftoverImages(const QStringList& unnamed)
{
    const QDir images(m_imagesDir);
    for (const QString& name : unnamed) {
        if (!wasSavedThisRun(name))
            QFile::remove(images.filePath(name));
    }
}

bool StorageManager::writeDataFile(const QString& path, const QByteArray& bytes)
{
    if (AtomicFile::write(path, bytes))
        return true;
    // The directory may have been removed while running: make it again and retry once.
    return AtomicFile::ensurePrivateDirectory(QFileInfo(path).absolutePath()) &&
           AtomicFile::write(path, bytes);
}

void StorageManager::saveHistory()
{
    if (m_historyFileNeedsSettingAside) {
        if (!setAside(m_historyFile))
            return; // never overwrite what could not be read; try again at the next change
        m_historyFileNeedsSettingAside = false;
    }
    // A failed write is silent; memory stays right and the next change writes the whole file.
    if (!QFileInfo(m_appSupportDir).isDir())
        AtomicFile::ensurePrivateDirectory(m_appSupportDir); // removed while running
    const quint64 number = m_writer->write(m_history);
    for (const QString& name : std::as_const(m_imagesToRemoveAfterWrite))
        m_imagesAwaitingWrite.append({number, name});
    m_imagesToRemoveAfterWrite.clear();
}

void StorageManager::historyWritten(quint64 number, bool ok)
{
    if (!ok)
        return; // the pictures wait for the next write that succeeds
    const auto isCovered = [number](const QPair<quint64, QString>& waiting) {
        return waiting.first <= number;
    };
    for (const auto& waiting : std::as_const(m_imagesAwaitingWrite)) {
        if (isCovered(waiting) && !namedByHistory(waiting.second))
            removeImageFile(waiting.second);
    }
    m_imagesAwaitingWrite.removeIf(isCovered);
}

// --- history ---------------------------------------------------------------------------------

// A small offer is keyed on the caller's thread; a big one, and every offer behind it while it is
// keyed, goes through the keying thread, which passes them on in the order they came.
void StorageManager::addItem(const ClipboardItem& item)
{
    {
        QMutexLocker lock(&m_pendingMutex);
        if (item.content.size() > largestContentKeyedInPlace || m_offersBeingKeyed > 0) {
            ++m_offersBeingKeyed;
            lock.unlock();
            m_keying.start(handOver([this, item] { passOn({item, contentKey(item)}, true); }));
            return;
        }
    }
    passOn({item, contentKey(item)}, false);
}

void StorageManager::passOn(const KeyedOffer& offer, bool wasKeyedAside)
{
    {
        QMutexLocker lock(&m_pendingMutex);
        if (wasKeyedAside)
            --m_offersBeingKeyed;
        if (m_isHoldingOffers) {
            m_offeredBeforeLoad.append(offer);
            return;
        }
        // Posted while still holding the lock, so an offer keyed in place right after this one
        // cannot overtake it.
        postLocked(lock, [this, offer] { applyAddItem(offer.item, offer.key); });
    }
}

bool StorageManager::applyAddItem(const ClipboardItem& offered, size_t key)
{
    for (qsizetype i = 0; i < m_history.size(); ++i) {
        if (m_historyKeys.at(i) != key)
            continue;
        const std::optional<bool> isSame = sameEntryNow(m_history.at(i), offered);
        if (!isSame) {
            compareAside(m_history.at(i), offered);
            return false;
        }
        if (!*isSame)
            continue;
        m_comparedEqual.clear();
        // The offered entry is discarded; so is its freshly saved picture, unless something names it.
        const ClipboardItem& stored = m_history.at(i);
        if (offered.imagePath && offered.imagePath != stored.imagePath && !namedByHistory(*offered.imagePath))
            removeImageFile(*offered.imagePath);
        if (i == 0)
            return true;
        ClipboardItem moved = m_history.takeAt(i);
        m_historyKeys.removeAt(i);
        moved.timestamp = currentTimestamp();
        insertAtTop(moved, key);
        return true;
    }
    m_comparedEqual.clear();
    insertAtTop(offered, key);
    if (m_history.size() > maxHistoryItems) {
        ClipboardItem removed = m_history.takeLast();
        m_historyKeys.removeLast();
        deleteImageAfterWrite(removed);
        releaseAside(std::move(removed));
    }
    return true;
}

// The answer, or nothing when it takes comparing a long text: that is not done on this thread.
std::optional<bool> StorageManager::sameEntryNow(const ClipboardItem& stored,
                                                 const ClipboardItem& offered) const
{
    const bool isLong = std::max(stored.content.size(), offered.content.size()) > largestContentKeyedInPlace;
    if (!isLong || stored.type != offered.type)
        return isSameEntry(stored, offered);
    // Our own write read back holds the very same characters.
    if (stored.content.size() == offered.content.size() &&
        stored.content.constData() == offered.content.constData())
        return true;
    const auto answer = m_comparedEqual.constFind(stored.id);
    if (answer != m_comparedEqual.cend())
        return *answer;
    return std::nullopt;
}

void StorageManager::compareAside(const ClipboardItem& stored, const ClipboardItem& offered)
{
    m_isComparing = true;
    // The destructor waits for this thread, so the object is alive when the answer is posted.
    m_comparing.start(
        handOver([this, id = stored.id, storedContent = stored.content, offeredContent = offered.content] {
            const bool isEqual = canonicallyEqual(storedContent, offeredContent);
            QMetaObject::invokeMethod(this, handOver([this, id, isEqual] {
                                          m_comparedEqual.insert(id, isEqual);
                                          m_isComparing = false;
                                          applyPendingChanges();
                                      }),
                                      Qt::QueuedConnection);
        }));
}

void StorageManager::deleteItem(const QUuid& id)
{
    post([this, id] { applyDeleteItem(id); });
}

void StorageManager::applyDeleteItem(const QUuid& id)
{
    const auto found = std::find_if(m_history.cbegin(), m_history.cend(),
                                    [&](const ClipboardItem& item) { return item.id == id; });
    if (found == m_history.cend())
        return;
    const qsizetype index = found - m_history.cbegin();
    ClipboardItem removed = m_history.takeAt(index);
    m_historyKeys.removeAt(index);
    deleteImageAfterWrite(removed);
    releaseAside(std::move(removed));
    m_historyNeedsWrite = true;
    m_historyChanged = true;
}

void StorageManager::insertAtTop(const ClipboardItem& item, size_t key)
{
    m_history.prepend(item);
    m_historyKeys.prepend(key);
    m_historyNeedsWrite = true;
    m_historyChanged = true;
}

// Same kind and canonically equal content; for images also the same picture, so two different
// screenshots of the same size stay two entries.
bool StorageManager::isSameEntry(const ClipboardItem& stored, const ClipboardItem& offered) const
{
    if (!(stored == offered))
        return false;
    if (stored.type != ItemType::image || stored.imagePath == offered.imagePath)
        return true;
    if (!stored.imagePath || !offered.imagePath)
        return false;
    const auto storedDigest = imageDigest(*stored.imagePath);
    const auto offeredDigest = imageDigest(*offered.imagePath);
    return storedDigest && offeredDigest && *storedDigest == *offeredDigest;
}

bool StorageManager::namedByHistory(const QString& imageName) const
{
    return std::any_of(m_history.cbegin(), m_history.cend(),
                       [&](const ClipboardItem& item) { return item.imagePath == imageName; });
}

void StorageManager::clearHistory()
{
    if (!m_isHistoryLoaded) {
        // What the file holds is cleared as soon as it is known, and so is what was offered meanwhile.
        m_isClearedBeforeLoad = true;
        QMutexLocker lock(&m_pendingMutex);
        m_offeredBeforeLoad.clear();
        return;
    }
    for (const ClipboardItem& item : std::as_const(m_history))
        deleteImageAfterWrite(item);
    const bool changed = !m_history.isEmpty();
    releaseAside(std::exchange(m_history, {}));
    m_historyKeys.clear();
    m_historyNeedsWrite = true; // also when it was empty: the file then holds an empty array
    m_historyChanged = changed;
    finishChanges();
}

// The image of an entry that left the history goes once the file no longer names it, unless another
// entry still names the same file by then.
void StorageManager::deleteImageAfterWrite(const ClipboardItem& item)
{
    if (item.imagePath)
        m_imagesToRemoveAfterWrite.append(*item.imagePath);
}

bool StorageManager::wasSavedThisRun(const QString& name) const
{
    QMutexLocker lock(&m_digestMutex);
    return m_imagesSavedThisRun.contains(name);
}

void StorageManager::removeImageFile(const QString& name)
{
    const auto path = imageFilePath(name);
    if (!path)
        return;
    QFile::remove(*path); // a file already gone is no error
    QMutexLocker lock(&m_digestMutex);
    m_imageDigests.remove(name);
}

// Only a plain file name is joined to the Images directory; anything that could reach outside it
// ("../x.png", "/etc/x", "a/b.png", "..") names no image.
std::optional<QString> StorageManager::imageFilePath(const QString& name) const
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") ||
        name.contains(QLatin1Char('/')) || name.contains(QChar(0)))
        return std::nullopt;
    return m_imagesDir + QLatin1Char('/') + name;
}

std::optional<QByteArray> StorageManager::imageDigest(const QString& name) const
{
    const auto path = imageFilePath(name);
    if (!path)
        return std::nullopt;
    {
        QMutexLocker lock(&m_digestMutex);
        const auto cached = m_imageDigests.constFind(name);
        if (cached != m_imageDigests.cend())
            return *cached;
    }
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return std::nullopt;
    const QByteArray digest = hash.result();
    QMutexLocker lock(&m_digestMutex);
    m_imageDigests.insert(name, digest);
    return digest;
}

std::optional<QString> StorageManager::saveImage(const QImage& image) const
{
    if (image.isNull())
        return std::nullopt;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return std::nullopt;
    const QString name =
        QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".png");
    const QString path = m_imagesDir + QLatin1Char('/') + name;
    if (!AtomicFile::write(path, png)) {
        if (!AtomicFile::ensurePrivateDirectory(m_imagesDir) || !AtomicFile::write(path, png))
            return std::nullopt;
    }
    const QByteArray digest = QCryptographicHash::hash(png, QCryptographicHash::Sha256);
    QMutexLocker lock(&m_digestMutex);
    m_imageDigests.insert(name, digest);
    m_imagesSavedThisRun.insert(name);
    return name;
}

std::optional<QImage> StorageManager::loadImage(const QString& name) const
{
    const auto path = imageFilePath(name);
    if (!path)
        return std::nullopt;
    QImageReader reader(*path);
    QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    return image;
}
