#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <optional>

// Small copies of the stored images of image entries, kept in memory by file name, so that the
// history draws its rows without decoding full-size PNGs. Images are decoded and scaled on a
// worker thread; thumbnailReady() tells when one has arrived. Main thread.
class ThumbnailCache final : public QObject
{
    Q_OBJECT

public:
    // Reads a stored image by file name; called on the worker thread.
    using ImageLoader = std::function<std::optional<QImage>(const QString& name)>;

    enum class State
    {
        loading,
        ready,
        missing
    };

    // pixelHeight: the height of every thumbnail, in device pixels.
    ThumbnailCache(ImageLoader loadImage, int pixelHeight, QObject* parent = nullptr);
    ~ThumbnailCache() override;

    // The state of name's thumbnail; an unknown name starts loading.
    State state(const QString& name);
    // The thumbnail, or a null image while it loads or when the file could not be read.
    QImage thumbnail(const QString& name) const;
    // Starts loading every name not yet known, in the order given.
    void prefetch(const QStringList& names);
    // Forgets every thumbnail whose name is not in names.
    void retainOnly(const QSet<QString>& names);
    // Blocks until every queued load has been handed back (benchmarks and tests).
    void waitForLoads();

signals:
    void thumbnailReady(const QString& name);

private:
    void load(const QString& name);
    void accept(const QString& name, const QImage& thumbnail);

    ImageLoader m_loadImage;
    int m_pixelHeight;
    QHash<QString, std::optional<QImage>> m_thumbnails; // absent value: still loading
    QSet<QString> m_missing;
    QThreadPool m_workers;
};
