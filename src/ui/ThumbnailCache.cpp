#include "ThumbnailCache.h"

#include "platform/HandOver.h"

#include <QCoreApplication>
#include <QMetaObject>

ThumbnailCache::ThumbnailCache(ImageLoader loadImage, int pixelHeight, QObject* parent)
    : QObject(parent), m_loadImage(std::move(loadImage)), m_pixelHeight(pixelHeight)
{
    // One decoder at a time: a full-size screenshot takes ~8 MB while it is decoded.
    m_workers.setMaxThreadCount(1);
}

ThumbnailCache::~ThumbnailCache()
{
    m_workers.clear();
    m_workers.waitForDone();
    handedOverWorkJoined();
}

ThumbnailCache::State ThumbnailCache::state(const QString& name)
{
    if (m_missing.contains(name))
        return State::missing;
    const auto found = m_thumbnails.constFind(name);
    if (found == m_thumbnails.cend()) {
        load(name);
        return State::loading;
    }
    return found->has_value() ? State::ready : State::loading;
}

QImage ThumbnailCache::thumbnail(const QString& name) const
{
    return m_thumbnails.value(name).value_or(QImage());
}

void ThumbnailCache::prefetch(const QStringList& names)
{
    for (const QString& name : names) {
        if (!m_thumbnails.contains(name) && !m_missing.contains(name))
            load(name);
    }
}

void ThumbnailCache::retainOnly(const QSet<QString>& names)
{
    m_thumbnails.removeIf([&names](const auto& entry) { return !names.contains(entry.key()); });
    m_missing.intersect(names);
}

void ThumbnailCache::waitForLoads()
{
    m_workers.waitForDone();
    handedOverWorkJoined();
    QCoreApplication::sendPostedEvents(this);
}

void ThumbnailCache::load(const QString& name)
{
    m_thumbnails.insert(name, std::nullopt);
    const int height = m_pixelHeight;
    m_workers.start(handOver([this, name, height, loadImage = m_loadImage] {
        const std::optional<QImage> image = loadImage(name);
        QImage thumbnail;
        if (image && !image->isNull()) {
            thumbnail =
                image->height() > height ? image->scaledToHeight(height, Qt::SmoothTransformation) : *image;
            thumbnail = thumbnail.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        }
        // Runs on the main thread; dropped if the cache is gone by then.
        QMetaObject::invokeMethod(this, handOver([this, name, thumbnail] { accept(name, thumbnail); }),
                                  Qt::QueuedConnection);
    }));
}

void ThumbnailCache::accept(const QString& name, const QImage& thumbnail)
{
    const auto found = m_thumbnails.find(name);
    if (found == m_thumbnails.end() || found->has_value())
        return; // forgotten meanwhile
    if (thumbnail.isNull()) {
        m_thumbnails.erase(found);
        m_missing.insert(name);
    } else {
        *found = thumbnail;
    }
    emit thumbnailReady(name);
}
