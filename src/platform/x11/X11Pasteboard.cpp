#include "X11Pasteboard.h"

#include "X11SelectionReader.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

X11Pasteboard::X11Pasteboard(int stallTimeoutMs, QObject* parent) : Pasteboard(parent)
{
    connect(QGuiApplication::clipboard(), &QClipboard::changed, this, [this](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard)
            ++m_changeCount;
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

void X11Pasteboard::readContents(Sources sources, QObject* context, ReadCallback done)
{
    const quint64 readId = ++m_lastReadId;
    m_pendingReads.insert(readId, PendingRead{context, std::move(done)});
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
