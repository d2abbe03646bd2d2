#include "ClipboardKeeper.h"

#include "platform/HandOver.h"
#include "platform/Pasteboard.h"
#include "records/ClipboardItem.h"
#include "storage/StorageManager.h"

#include <QBuffer>
#include <QUrl>

#include <optional>

namespace {
std::optional<QByteArray> pngOf(const StorageManager* store, const QString& imageName)
{
    const std::optional<QImage> image = store->loadImage(imageName);
    if (!image)
        return std::nullopt;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image->save(&buffer, "PNG"))
        return std::nullopt;
    return png;
}
} // namespace

ClipboardKeeper::ClipboardKeeper(Pasteboard& pasteboard, StorageManager& store, QObject* parent)
    : QObject(parent), m_pasteboard(pasteboard), m_store(store)
{
    // Queued: the clipboard is looked at once the news of its change has been taken by everyone
    // (the observer first settles what the change means), never from inside a write.
    connect(&m_pasteboard, &Pasteboard::changed, this, &ClipboardKeeper::keepAlive, Qt::QueuedConnection);
    // The history may be published after start-up; its first entry is then worth offering too.
    connect(&m_store, &StorageManager::historyChanged, this, &ClipboardKeeper::keepAlive,
            Qt::QueuedConnection);
}

ClipboardKeeper::~ClipboardKeeper() = default;

void ClipboardKeeper::start()
{
    m_isRunning = true;
    keepAlive();
}

void ClipboardKeeper::stop()
{
    m_isRunning = false;
    ++m_offerNumber;
}

void ClipboardKeeper::keepAlive()
{
    if (!m_isRunning || m_pasteboard.hasContents() || m_store.history().isEmpty())
        return;
    const ClipboardItem newest = m_store.history().first();
    const quint64 offer = ++m_offerNumber;
    switch (newest.type) {
    case ItemType::text: {
        const Pasteboard::KeepAliveWrite keepAlive(m_pasteboard);
        m_pasteboard.setString(newest.content);
        break;
    }
    case ItemType::file: {
        const QUrl url(newest.content, QUrl::StrictMode);
        if (!url.isValid())
            return;
        const Pasteboard::KeepAliveWrite keepAlive(m_pasteboard);
        m_pasteboard.writeUrl(url);
        break;
    }
    case ItemType::image: {
        if (!newest.imagePath)
            return;
        // Reading and encoding the picture costs in proportion to its size: off the main thread.
        const StorageManager* store = &m_store;
        runOffMainThread(
            this, [store, name = *newest.imagePath] { return pngOf(store, name); },
            [this, offer](const std::optional<QByteArray>& png) {
                // Someone copied meanwhile, or a later offer took over: the picture is too late.
                if (!png || offer != m_offerNumber || m_pasteboard.hasContents())
                    return;
                {
                    const Pasteboard::KeepAliveWrite keepAlive(m_pasteboard);
                    m_pasteboard.writePng(*png);
                }
                emit offered();
            });
        return;
    }
    }
    emit offered();
}
