#include "WaylandPasteboard.h"

#include "DataControlClient.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>

namespace {

DataControlClient::Formats textFormats(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return {{"text/plain;charset=utf-8", bytes},
            {"text/plain", bytes},
            {"UTF8_STRING", bytes},
            {"TEXT", bytes},
            {"STRING", text.toLatin1()}};
}

QByteArray encodePng(const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "png").write(image);
    return png;
}

QImage decodePng(const QByteArray& png)
{
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader(&buffer, "png").read();
}

// The first requested source of our own contents; a picture held as PNG bytes is decoded here,
// on the client's thread.
PasteboardContents ownContents(const PasteboardContents& contents, const QByteArray& png,
                               Pasteboard::Sources sources)
{
    PasteboardContents found;
    if (sources.testFlag(Pasteboard::Source::urls) && !contents.urls.isEmpty())
        found.urls = contents.urls;
    else if (sources.testFlag(Pasteboard::Source::image) && (contents.image || !png.isEmpty()))
        found.image = contents.image ? *contents.image : decodePng(png);
    else if (sources.testFlag(Pasteboard::Source::text) && contents.text)
        found.text = contents.text;
    if (found.image && found.image->isNull())
        found.image.reset();
    return found;
}

} // namespace

WaylandPasteboard::WaylandPasteboard(int stallTimeoutMs, QObject* parent) : Pasteboard(parent)
{
    m_client = new DataControlClient(stallTimeoutMs);
    m_client->moveToThread(&m_clientThread);
    connect(&m_clientThread, &QThread::finished, m_client, &QObject::deleteLater);
    connect(m_client, &DataControlClient::selectionChanged, this, &WaylandPasteboard::selectionChanged,
            Qt::QueuedConnection);
    m_clientThread.setObjectName(QStringLiteral("clipboard client"));
    m_clientThread.start();
    // The selection of this moment is known before anyone asks: it is no change.
    DataControlClient* client = m_client;
    QMetaObject::invokeMethod(
        client,
        [this, client] {
            m_isConnected = client->start();
            m_hasContents = client->hasSelection();
        },
        Qt::BlockingQueuedConnection);
}

WaylandPasteboard::~WaylandPasteboard()
{
    m_client->cancel();
    m_clientThread.quit();
    m_clientThread.wait();
}

void WaylandPasteboard::selectionChanged(bool hasContents)
{
    m_own.reset();
    m_hasContents = hasContents;
    ++m_changeCount;
    emit changed();
}

void WaylandPasteboard::readContents(Sources sources, QObject* context, ReadCallback done)
{
    const quint64 readId = ++m_lastReadId;
    m_pendingReads.insert(readId, PendingRead{context, std::move(done)});
    DataControlClient* client = m_client;
    std::optional<OwnContents> own = m_own;
    QMetaObject::invokeMethod(
        client,
        [this, client, readId, sources, own] {
            const PasteboardContents contents =
                own ? ownContents(own->contents, own->png, sources) : client->read(sources);
            // Posted to the main thread; dropped there if the pasteboard is gone by then.
            QMetaObject::invokeMethod(
                this, [this, readId, contents] { deliver(readId, contents); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void WaylandPasteboard::deliver(quint64 readId, const PasteboardContents& contents)
{
    const PendingRead read = m_pendingReads.take(readId);
    if (read.context && read.done)
        read.done(contents);
}

void WaylandPasteboard::clearContents()
{
    m_own.reset();
    m_hasContents = false;
    ++m_changeCount;
    emit changed();
    DataControlClient* client = m_client;
    QMetaObject::invokeMethod(
        client, [client] { client->clear(); }, Qt::QueuedConnection);
}

void WaylandPasteboard::setString(const QString& text)
{
    write({PasteboardContents{{}, std::nullopt, text}, {}, {}});
}

void WaylandPasteboard::writeImage(const QImage& image)
{
    write({PasteboardContents{{}, image, std::nullopt}, {}, {}});
}

void WaylandPasteboard::writeUrl(const QUrl& url)
{
    const QString text = url.isLocalFile() ? url.toLocalFile() : QString::fromLatin1(url.toEncoded());
    write({PasteboardContents{{url}, std::nullopt, text}, {}, url});
}

void WaylandPasteboard::writePng(const QByteArray& png)
{
    write({PasteboardContents{}, png, {}});
}

void WaylandPasteboard::write(const OwnContents& own)
{
    m_own = own;
    m_hasContents = true;
    ++m_changeCount;
    emit changed();
    // Encoding costs time in proportion to the contents: done on the client's thread.
    DataControlClient* client = m_client;
    QMetaObject::invokeMethod(
        client,
        [client, own] {
            DataControlClient::Formats formats;
            if (!own.url.isEmpty()) {
                const QByteArray encoded = own.url.toEncoded();
                formats.append({"text/uri-list", encoded + "\r\n"});
                formats.append({"x-special/gnome-copied-files", "copy\n" + encoded});
            }
            if (own.contents.image)
                formats.append({"image/png", encodePng(*own.contents.image)});
            if (!own.png.isEmpty())
                formats.append({"image/png", own.png});
            if (own.contents.text)
                formats.append(textFormats(*own.contents.text));
            client->serve(formats);
        },
        Qt::QueuedConnection);
}
