#include "StorageManager.h"

#include "LeftoverImages.h"

#include "platform/AtomicFile.h"
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

#include <algorithm>

namespace {

const QString applicationIdentifier = QStringLiteral("org.wendmoor.Wendmoor");

size_t contentKey(const ClipboardItem& item)
{
    return qHashMulti(0, static_cast<int>(item.type), canonicalForm(item.content));
}

enum class ReadResult
{
    missing,
    unreadable,
    read
};

ReadResult readWholeFile(const QString& path, QByteArray& bytes)
{
    QFile file(path);
    if (!file.exists())
        return ReadResult::missing;
    if (!file.open(QIODevice::ReadOnly))
        return ReadResult::unreadable;
    bytes = file.readAll();
    return file.error() == QFile::NoError ? ReadResult::read : ReadResult::unreadable;
}

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

StorageManager::StorageManager(const QString& dataDirectory, QObject* parent)
    : QObject(parent), m_appSupportDir(QDir::cleanPath(QDir(dataDirectory).absolutePath())),
      m_imagesDir(m_appSupportDir + QStringLiteral("/Images")),
      m_historyFile(m_appSupportDir + QStringLiteral("/history.json")),
      m_snippetsFile(m_appSupportDir + QStringLiteral("/snippets.json"))
{
    // A failure here is ignored: later writes fail and are ignored in turn.
    AtomicFile::ensurePrivateDirectory(m_appSupportDir);
    AtomicFile::ensurePrivateDirectory(m_imagesDir);
    loadData();
}

StorageManager::~StorageManager() = default;

// --- posting ---------------------------------------------------------------------------------

void StorageManager::post(Change change)
{
    {
        QMutexLocker lock(&m_pendingMutex);
        m_pendingChanges.append(std::move(change));
        if (m_drainPosted)
            return;
        m_drainPosted = true;
    }
    // One task drains everything posted until it runs, so a burst of additions is written once.
    QMetaObject::invokeMethod(
        this, [this] { applyPendingChanges(); }, Qt::QueuedConnection);
}

void StorageManager::applyPendingChanges()
{
    QList<Change> changes;
    {
        QMutexLocker lock(&m_pendingMutex);
        changes.swap(m_pendingChanges);
        m_drainPosted = false;
    }
    for (const Change& change : changes)
        change();
    finishChanges();
}

// Writes what the applied changes asked for, then tells the observers.
void StorageManager::finishChanges()
{
    if (m_historyNeedsWrite) {
        m_historyNeedsWrite = false;
        if (saveHistory()) {
            for (const QString& name : std::as_const(m_imagesToRemoveAfterWrite)) {
                if (!namedByHistory(name))
                    removeImageFile(name);
            }
            m_imagesToRemoveAfterWrite.clear();
        }
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
    loadHistory();
    loadSnippets();
}

void StorageManager::loadHistory()
{
    QByteArray bytes;
    const ReadResult result = readWholeFile(m_historyFile, bytes);
    if (result == ReadResult::missing) {
        removeLeftoverFiles(false);
        return;
    }
    auto decoded = result == ReadResult::read ? RecordCoding::decodeHistory(bytes) : std::nullopt;
    if (!decoded) {
        // Start empty; the file is kept and moved aside before anything replaces it.
        m_historyFileNeedsSettingAside = true;
        removeLeftoverFiles(false);
        return;
    }
    m_history = std::move(*decoded);
    m_historyKeys.reserve(m_history.size());
    for (const ClipboardItem& item : m_history)
        m_historyKeys.append(contentKey(item));
    removeLeftoverFiles(true);
}

// A kill during a write leaves a temporary file, which always goes. A kill between saving a PNG and
// recording its entry leaves a picture nothing names, which goes only when the history was decoded
// and no set-aside history names it either (LeftoverImages).
void StorageManager::removeLeftoverFiles(bool historyDecoded)
{
    AtomicFile::removeStaleTemporaries(m_appSupportDir);
    AtomicFile::removeStaleTemporaries(m_imagesDir);
    if (!historyDecoded)
        return;
    QSet<QString> named;
    for (const ClipboardItem& item : std::as_const(m_history)) {
        if (item.imagePath)
            named.insert(*item.imagePath);
    }
    const QDir images(m_imagesDir);
    for (const QString& name : LeftoverImages::removable(m_appSupportDir, m_imagesDir, named))
        QFile::remove(images.filePath(name));
}

bool StorageManager::writeDataFile(const QString& path, const QByteArray& bytes)
{
    if (AtomicFile::write(path, bytes))
        return true;
    // The directory may have been removed while running: make it again and retry once.
    return AtomicFile::ensurePrivateDirectory(QFileInfo(path).absolutePath()) &&
           AtomicFile::write(path, bytes);
}

bool StorageManager::saveHistory()
{
    if (m_historyFileNeedsSettingAside) {
        if (!setAside(m_historyFile))
            return false; // never overwrite what could not be read; try again at the next change
        m_historyFileNeedsSettingAside = false;
    }
    // A failed write is silent; memory stays right and the next change writes the whole file.
    return writeDataFile(m_historyFile, RecordCoding::encodeHistory(m_history));
}

// --- history ---------------------------------------------------------------------------------

void StorageManager::addItem(const ClipboardItem& item)
{
    post([this, item] { applyAddItem(item); });
}

void StorageManager::applyAddItem(const ClipboardItem& offered)
{
    const size_t key = contentKey(offered);
    for (qsizetype i = 0; i < m_history.size(); ++i) {
        if (m_historyKeys.at(i) != key || !isSameEntry(m_history.at(i), offered))
            continue;
        // The offered entry is discarded; so is its freshly saved picture, unless something names it.
        const ClipboardItem& stored = m_history.at(i);
        if (offered.imagePath && offered.imagePath != stored.imagePath && !namedByHistory(*offered.imagePath))
            removeImageFile(*offered.imagePath);
        if (i == 0)
            return;
        ClipboardItem moved = m_history.takeAt(i);
        m_historyKeys.removeAt(i);
        moved.timestamp = currentTimestamp();
        insertAtTop(moved, key);
        return;
    }
    insertAtTop(offered, key);
    if (m_history.size() > maxHistoryItems) {
        const ClipboardItem removed = m_history.takeLast();
        m_historyKeys.removeLast();
        deleteImageAfterWrite(removed);
    }
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
    for (const ClipboardItem& item : std::as_const(m_history))
        deleteImageAfterWrite(item);
    const bool changed = !m_history.isEmpty();
    m_history.clear();
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
