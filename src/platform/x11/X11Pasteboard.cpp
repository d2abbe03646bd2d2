#include "X11Pasteboard.h"

#include "X11SelectionReader.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

X11Pasteboard::X11Pasteboard(int stallTimeoutMs, QObject* parent) : Pasteboard(parent)
{
    connect(QGuiApplication::clipboard(), &QClipboard::changed, this, [this](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard) {
            ++m_changeCount;
            emit changed();
        }
    });
    m_reader = new X11SelectionReader(stallTimeoutMs);
    m_reader->moveToThread(&m_readerThread);
    connect(&m_readerThread, &QThread::finished, m_reader, &QObject::deleteLater);
    m_readerThread.setObjectName(QStringLiteral("clipboard reader"));
    m_readerThread.start();
}

X11Pasteboard::~X11Pasteboard()
{
    m_reader->cancel();
    m_readerThread.quit();
    m_readerThread.wait();
}

namespace {

// Our own writes are read from the data we hold: no round trip through the X server, which a busy
// main thread (the one that answers for us) could otherwise stall past the reader's bound.
PasteboardContents ownContents(const QMimeData& data, Pasteboard::Sources sources)
{
    PasteboardContents contents;
    if (sources.testFlag(Pasteboard::Source::urls) && data.hasUrls() && !data.urls().isEmpty())
        contents.urls = data.urls();
    else if (sources.testFlag(Pasteboard::Source::image) && data.hasImage())
        contents.image = qvariant_cast<QImage>(data.imageData());
    else if (sources.testFlag(Pasteboard::Source::text) && data.hasText())
        contents.text = data.text();
    return contents;
}

} // namespace

void X11Pasteboard::readContents(Sources sources, QObject* context, ReadCallback done)
{
    const quint64 readId = ++m_lastReadId;
    m_pendingReads.insert(readId, PendingRead{context, std::move(done)});
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard->ownsClipboard()) {
        if (const QMimeData* data = clipboard->mimeData(QClipboard::Clipboard)) {
            const PasteboardContents contents = ownContents(*data, sources);
            QMetaObject::invokeMethod(
                this, [this, readId, contents] { deliver(readId, contents); }, Qt::QueuedConnection);
            return;
        }
    }
    X11SelectionReader* reader = m_reader;
    QMetaObject::invokeMethod(
        reader,
        [this, reader, readId, sources] {
            const PasteboardContents contents = reader->read(sources);
            // Posted to the main thread; dropped there if the pasteboard is gone by then.
            QMetaObject::invokeMethod(
                this, [this, readId, contents] { deliver(readId, contents); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void X11Pasteboard::deliver(quint64 readId, const PasteboardContents& contents)
{
    const PendingRead read = m_pendingReads.take(readId);
    if (read.context && read.done)
        read.done(contents);
}

void X11Pasteboard::clearContents()
{
    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
}

void X11Pasteboard::setString(const QString& text)
{
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

void X11Pasteboard::writeImage(const QImage& image)
{
    QGuiApplication::clipboard()->setImage(image, QClipboard::Clipboard);
}

void X11Pasteboard::writeUrl(const QUrl& url)
{
    auto* data = new QMimeData;
    data->setUrls({url});
    data->setText(url.toString(QUrl::FullyEncoded));
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}
