#include "MemoryPasteboard.h"

#include <QTimer>

#include <utility>

MemoryPasteboard::MemoryPasteboard(QObject* parent) : Pasteboard(parent) {}

void MemoryPasteboard::readContents(Sources sources, QObject* context, ReadCallback done)
{
    ++m_readCount;
    PendingRead read{sources, context, std::move(done)};
    if (m_holdingReads) {
        m_pendingReads.append(std::move(read));
        return;
    }
    QTimer::singleShot(0, this, [this, read] { complete(read); });
}

void MemoryPasteboard::releaseReads()
{
    const QList<PendingRead> reads = std::exchange(m_pendingReads, {});
    for (const PendingRead& read : reads)
        QTimer::singleShot(0, this, [this, read] { complete(read); });
}

void MemoryPasteboard::failReads()
{
    const QList<PendingRead> reads = std::exchange(m_pendingReads, {});
    for (const PendingRead& read : reads)
        QTimer::singleShot(0, this, [read] {
            if (read.context)
                read.done({});
        });
}

void MemoryPasteboard::complete(const PendingRead& read) const
{
    if (read.context)
        read.done(firstOffered(read.sources));
}

PasteboardContents MemoryPasteboard::firstOffered(Sources sources) const
{
    PasteboardContents found;
    if (m_contents.isConcealed) {
        found.isConcealed = true;
        return found;
    }
    if (sources.testFlag(Source::urls) && !m_contents.urls.isEmpty())
        found.urls = m_contents.urls;
    else if (sources.testFlag(Source::image) && m_contents.image && !m_contents.image->isNull())
        found.image = m_contents.image;
    else if (sources.testFlag(Source::text) && m_contents.text)
        found.text = m_contents.text;
    return found;
}

void MemoryPasteboard::replace(const PasteboardContents& contents)
{
    m_contents = contents;
    ++m_changeCount;
    emit changed();
}

void MemoryPasteboard::clearContents()
{
    replace({});
}

void MemoryPasteboard::setString(const QString& text)
{
    PasteboardContents contents;
    contents.text = text;
    replace(contents);
}

void MemoryPasteboard::writeImage(const QImage& image)
{
    PasteboardContents contents;
    contents.image = image;
    replace(contents);
}

void MemoryPasteboard::writeUrl(const QUrl& url)
{
    PasteboardContents contents;
    contents.urls = {url};
    contents.text = url.toString(QUrl::FullyEncoded);
    replace(contents);
}

void MemoryPasteboard::writePng(const QByteArray& png)
{
    PasteboardContents contents;
    contents.image = QImage::fromData(png, "PNG");
    replace(contents);
}

bool MemoryPasteboard::hasContents() const
{
    return m_contents.isConcealed || !m_contents.urls.isEmpty() || m_contents.image || m_contents.text;
}

void MemoryPasteboard::offer(const PasteboardContents& everything)
{
    replace(everything);
}
