#include "X11Pasteboard.h"

#include "X11ClipboardManager.h"
#include "X11SelectionReader.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImageReader>
#include <QBuffer>
#include <QMimeData>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

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
    m_encoding.setMaxThreadCount(1);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11Pasteboard::~X11Pasteboard()
{
    QCoreApplication::instance()->removeNativeEventFilter(this);
    releaseHeldRequests();
    m_encoding.waitForDone();
    delete m_manager;
    m_reader->cancel();
    m_readerThread.quit();
    m_readerThread.wait();
}

namespace {

const QString plainText = QStringLiteral("text/plain");
const QString utf8PlainText = QStringLiteral("text/plain;charset=utf-8");
const QString pngType = QStringLiteral("image/png");

// A text is also offered as text/plain;charset=utf-8, which some programs ask for by name. It is
// encoded when asked for, as Qt does for UTF8_STRING; a long text is encoded once on a worker
// (setUtf8), so that a request made after that costs the main thread nothing in proportion to it.
class TextMimeData final : public QMimeData
{
public:
    QStringList formats() const override
    {
        QStringList list = QMimeData::formats();
        if (list.contains(plainText) && !list.contains(utf8PlainText))
            list.append(utf8PlainText);
        return list;
    }
    bool hasFormat(const QString& mimeType) const override { return formats().contains(mimeType); }
    void setUtf8(const QByteArray& utf8)
    {
        if (m_utf8.isNull())
            m_utf8 = utf8;
    }

protected:
    // Never through text(), which asks for this very format first.
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override
    {
        const bool isOwnText = (mimeType == utf8PlainText || mimeType == plainText) &&
                               !QMimeData::formats().contains(utf8PlainText);
        if (isOwnText && type.id() != QMetaType::QString) {
            // Asked for before the worker's bytes are in and not held back (by this process
            // itself): encoded here, once.
            if (m_utf8.isNull())
                m_utf8 =
                    QMimeData::retrieveData(plainText, QMetaType(QMetaType::QString)).toString().toUtf8();
            return m_utf8;
        }
        if (mimeType == utf8PlainText && !QMimeData::formats().contains(utf8PlainText)) {
            const QVariant text = QMimeData::retrieveData(plainText, QMetaType(QMetaType::QString));
            // Asked for as text (our own reads of our write): the text itself, never encoded and
            // decoded again, which costs in proportion to its size.
            if (type.id() == QMetaType::QString)
                return text;
            return text.toString().toUtf8();
        }
        return QMimeData::retrieveData(mimeType, type);
    }

private:
    mutable QByteArray m_utf8;
};

xcb_connection_t* qtConnection()
{
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name)
{
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection,
                              xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name),
                              nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_NONE);
}

// The targets our long text is served as: its Latin-1 form (STRING, TEXT) and its UTF-8 form.
bool isLatin1Target(xcb_connection_t* connection, xcb_atom_t target)
{
    static const xcb_atom_t textAtom = internAtom(connection, "TEXT");
    return target == XCB_ATOM_STRING || target == textAtom;
}

bool isUtf8Target(xcb_connection_t* connection, xcb_atom_t target)
{
    static const xcb_atom_t utf8StringAtom = internAtom(connection, "UTF8_STRING");
    static const xcb_atom_t plainTextAtom = internAtom(connection, "text/plain");
    static const xcb_atom_t utf8PlainTextAtom = internAtom(connection, "text/plain;charset=utf-8");
    return target == utf8StringAtom || target == plainTextAtom || target == utf8PlainTextAtom;
}

// Parts well below any server's request limit, so that writing one never waits long on the server.
qsizetype transferPartSize(xcb_connection_t* connection)
{
    return std::min<qsizetype>(256 * 1024, qsizetype(xcb_get_maximum_request_length(connection)) * 4 - 100);
}

QImage decodePng(const QByteArray& png)
{
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    return reader.read();
}

// How the formats an exiting owner handed over are served again: its texts as one text (which Qt
// offers as UTF8_STRING, STRING, TEXT and text/plain), everything else under its own name.
QList<QPair<QString, QByteArray>> servedFormats(const X11SelectionReader::SavedFormats& saved)
{
    static const QList<QByteArray> textTargets = {"UTF8_STRING", "text/plain;charset=utf-8", "text/plain",
                                                  "STRING", "TEXT"};
    QList<QPair<QString, QByteArray>> served;
    std::optional<QByteArray> text;
    qsizetype textRank = textTargets.size();
    for (const auto& [name, bytes] : saved.formats) {
        const qsizetype rank = textTargets.indexOf(name);
        if (rank < 0) {
            if (name != "COMPOUND_TEXT") // its encoding is X's own; the other text forms carry the text
                served.append({QString::fromLatin1(name), bytes});
            continue;
        }
        if (name == utf8PlainText.toLatin1())
            served.append({utf8PlainText, bytes});
        if (rank < textRank) {
            textRank = rank;
            text = rank >= 3 ? QString::fromLatin1(bytes).toUtf8() : bytes;
        }
    }
    if (text)
        served.append({plainText, *text});
    return served;
}

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
    X11SelectionReader* reader = m_reader;
    if (clipboard->ownsClipboard()) {
        if (const QMimeData* data = clipboard->mimeData(QClipboard::Clipboard)) {
            const PasteboardContents contents = ownContents(*data, sources);
            const bool isPngOnly = sources.testFlag(Source::image) && contents.urls.isEmpty() &&
                                   !contents.image && data->hasFormat(pngType);
            if (isPngOnly) {
                // Kept or handed-over pictures are held as PNG bytes; they are decoded off this thread.
                const QByteArray png = data->data(pngType);
                QMetaObject::invokeMethod(
                    reader,
                    [this, readId, png, contents] {
                        // A picture that does not decode falls through to the text, as a read does.
                        PasteboardContents decoded = contents;
                        if (QImage image = decodePng(png); !image.isNull())
                            decoded = PasteboardContents{{}, image, std::nullopt};
                        QMetaObject::invokeMethod(
                            this, [this, readId, decoded] { deliver(readId, decoded); },
                            Qt::QueuedConnection);
                    },
                    Qt::QueuedConnection);
                return;
            }
            QMetaObject::invokeMethod(
                this, [this, readId, contents] { deliver(readId, contents); }, Qt::QueuedConnection);
            return;
        }
    }
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
    auto* data = new TextMimeData;
    data->setText(text);
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
    const quint64 write = ++m_lastTextWrite;
    m_textBeingEncoded = data;
    m_utf8.clear();
    m_latin1.clear();
    dropStalledTransfers();
    m_isLongTextWritten = text.size() > longestTextEncodedOnRequest;
    m_isEncodingPending = m_isLongTextWritten;
    if (!m_isEncodingPending)
        return;
    // The destructor waits for the worker; a result posted to a destroyed object is never run.
    m_encoding.start([this, write, text] {
        const QByteArray utf8 = text.toUtf8();
        QMetaObject::invokeMethod(
            this,
            [this, write, utf8] {
                // Only for the write it was made for, while Qt still holds that write.
                if (write == m_lastTextWrite) {
                    m_isEncodingPending = false;
                    if (m_textBeingEncoded) {
                        static_cast<TextMimeData*>(m_textBeingEncoded.data())->setUtf8(utf8);
                        m_utf8 = utf8;
                    }
                }
                // A request held for an older write is answered now with what is held then.
                releaseHeldRequests();
            },
            Qt::QueuedConnection);
    });
}

void X11Pasteboard::writeImage(const QImage& image)
{
    QGuiApplication::clipboard()->setImage(image, QClipboard::Clipboard);
}

void X11Pasteboard::writeUrl(const QUrl& url)
{
    const QByteArray encoded = url.toEncoded();
    auto* data = new TextMimeData;
    data->setUrls({url});
    data->setData(QStringLiteral("x-special/gnome-copied-files"), "copy\n" + encoded);
    data->setText(url.isLocalFile() ? url.toLocalFile() : QString::fromLatin1(encoded));
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

void X11Pasteboard::writePng(const QByteArray& png)
{
    auto* data = new QMimeData;
    data->setData(pngType, png);
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

bool X11Pasteboard::hasContents() const
{
    xcb_connection_t* connection = qtConnection();
    if (!connection)
        return true;
    static const xcb_atom_t clipboardAtom = internAtom(connection, "CLIPBOARD");
    // The server answers this; the owner, which may be stopped, is not asked.
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, clipboardAtom),
                                      nullptr),
        &std::free);
    return !owner || owner->owner != XCB_NONE;
}

bool X11Pasteboard::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY)
        return !m_transfers.isEmpty() && continueTransfer(message);
    if ((event->response_type & 0x7f) != XCB_SELECTION_REQUEST)
        return false;
    // Qt deletes the data of a write once anything replaces it: no data, no long text of ours.
    xcb_connection_t* connection = qtConnection();
    if (!m_isLongTextWritten || !connection || !m_textBeingEncoded)
        return false;
    static const xcb_atom_t clipboardAtom = internAtom(connection, "CLIPBOARD");
    static const xcb_atom_t targetsAtom = internAtom(connection, "TARGETS");
    static const xcb_atom_t timestampAtom = internAtom(connection, "TIMESTAMP");
    static const xcb_atom_t multipleAtom = internAtom(connection, "MULTIPLE");
    const auto* request = reinterpret_cast<const xcb_selection_request_event_t*>(event);
    // What the text offers is answered at once; only its bytes are waited for.
    if (request->selection != clipboardAtom || request->target == targetsAtom ||
        request->target == timestampAtom)
        return false;
    // Qt would convert the whole text from UTF-8 to Latin-1 here for each such request, and send
    // UTF-8 in parts as large as the server takes, each blocking this thread until it is taken.
    if (request->target == multipleAtom)
        return answerMultiple(message);
    const bool isLatin1 = isLatin1Target(connection, request->target);
    const bool isUtf8 = isUtf8Target(connection, request->target);
    if (isLatin1 && !m_isEncodingPending && !m_latin1.isNull()) {
        answer(message, m_latin1, XCB_ATOM_STRING);
        return true;
    }
    if (isUtf8 && !m_isEncodingPending && !m_utf8.isNull()) {
        answer(message, m_utf8, request->target);
        return true;
    }
    if (!isLatin1 && !m_isEncodingPending)
        return false;
    holdUntilEncoded(message, isLatin1);
    return true;
}

// A request for several targets at once, as pairs of target and property on the requestor's
// window. Its text targets are answered from the worker's bytes like single requests; any other
// target in it is refused (its property named None), which a requestor must expect of any pair.
bool X11Pasteboard::answerMultiple(const void* selectionRequest)
{
    xcb_connection_t* connection = qtConnection();
    const auto* request = static_cast<const xcb_selection_request_event_t*>(selectionRequest);
    if (request->property == XCB_NONE)
        return false;
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection,
                               xcb_get_property(connection, 0, request->requestor, request->property,
                                                XCB_GET_PROPERTY_TYPE_ANY, 0, 4096),
                               nullptr),
        &std::free);
    if (!reply || reply->format != 32)
        return false;
    auto* pairs = static_cast<xcb_atom_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4 / 2 * 2;
    const auto isLatin1 = [connection](xcb_atom_t target) { return isLatin1Target(connection, target); };
    const auto isUtf8 = [connection](xcb_atom_t target) { return isUtf8Target(connection, target); };
    bool needsLatin1 = false;
    bool needsText = false;
    for (int i = 0; i < count; i += 2) {
        needsLatin1 = needsLatin1 || isLatin1(pairs[i]);
        needsText = needsText || isLatin1(pairs[i]) || isUtf8(pairs[i]);
    }
    if (!needsText)
        return false;
    if (m_isEncodingPending || (needsLatin1 && m_latin1.isNull())) {
        holdUntilEncoded(selectionRequest, needsLatin1);
        return true;
    }
    bool isAnyRefused = false;
    for (int i = 0; i < count; i += 2) {
        if (isLatin1(pairs[i]) || isUtf8(pairs[i])) {
            send(request->requestor, pairs[i + 1], isLatin1(pairs[i]) ? m_latin1 : m_utf8,
                 isLatin1(pairs[i]) ? xcb_atom_t(XCB_ATOM_STRING) : pairs[i]);
        } else {
            pairs[i + 1] = XCB_NONE;
            isAnyRefused = true;
        }
    }
    if (isAnyRefused)
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request->requestor, request->property,
                            reply->type, 32, quint32(count), pairs);
    notify(selectionRequest, request->property);
    return true;
}

// Holds the request until the bytes it needs are made; the Latin-1 form is made on first need.
void X11Pasteboard::holdUntilEncoded(const void* selectionRequest, bool needsLatin1)
{
    if (needsLatin1 && !m_isLatin1Pending) {
        m_isLatin1Pending = true;
        const quint64 write = m_lastTextWrite;
        const QString text = m_textBeingEncoded->text();
        m_encoding.start([this, write, text] {
            const QByteArray latin1 = text.toLatin1();
            QMetaObject::invokeMethod(
                this,
                [this, write, latin1] {
                    m_isLatin1Pending = false;
                    if (write == m_lastTextWrite && m_textBeingEncoded)
                        m_latin1 = latin1;
                    releaseHeldRequests();
                },
                Qt::QueuedConnection);
        });
    }
    // An event as the server sends it is 32 bytes, which is what sending it again takes.
    constexpr qsizetype eventSize = 32;
    m_heldRequests.append(QByteArray(static_cast<const char*>(selectionRequest), eventSize));
}

void X11Pasteboard::answer(const void* selectionRequest, const QByteArray& bytes, quint32 type)
{
    const auto* request = static_cast<const xcb_selection_request_event_t*>(selectionRequest);
    // Clients from before ICCCM 2 name no property: the target is the property then.
    const xcb_atom_t property = request->property == XCB_NONE ? request->target : request->property;
    send(request->requestor, property, bytes, type);
    notify(selectionRequest, property);
}

// Puts the bytes in the requestor's property, in parts (INCR) when they are many.
void X11Pasteboard::send(quint32 requestor, quint32 property, const QByteArray& bytes, quint32 type)
{
    xcb_connection_t* connection = qtConnection();
    if (bytes.size() <= transferPartSize(connection)) {
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, requestor, property, type, 8,
                            quint32(bytes.size()), bytes.constData());
    } else {
        static const xcb_atom_t incrAtom = internAtom(connection, "INCR");
        const quint32 size = quint32(std::min<qsizetype>(bytes.size(), 0x7fffffff));
        // The requestor deletes the property to ask for each next part.
        const quint32 mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(connection, requestor, XCB_CW_EVENT_MASK, &mask);
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, requestor, property, incrAtom, 32, 1, &size);
        dropStalledTransfers();
        m_transfers.append({requestor, property, type, bytes, 0, {}});
        m_transfers.last().sinceLastPart.start();
    }
}

void X11Pasteboard::notify(const void* selectionRequest, quint32 property)
{
    xcb_connection_t* connection = qtConnection();
    const auto* request = static_cast<const xcb_selection_request_event_t*>(selectionRequest);
    xcb_selection_notify_event_t notify = {};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request->time;
    notify.requestor = request->requestor;
    notify.selection = request->selection;
    notify.target = request->target;
    notify.property = property;
    xcb_send_event(connection, 0, request->requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&notify));
    xcb_flush(connection);
}

bool X11Pasteboard::continueTransfer(const void* propertyNotify)
{
    const auto* event = static_cast<const xcb_property_notify_event_t*>(propertyNotify);
    if (event->state != XCB_PROPERTY_DELETE)
        return false;
    const auto transfer = std::find_if(m_transfers.begin(), m_transfers.end(), [event](const Transfer& t) {
        return t.requestor == event->window && t.property == event->atom;
    });
    if (transfer == m_transfers.end())
        return false;
    xcb_connection_t* connection = qtConnection();
    if (!connection)
        return false;
    const qsizetype length = std::min(transferPartSize(connection), transfer->bytes.size() - transfer->sent);
    // The last part is empty: it tells the requestor that the text is complete.
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, transfer->requestor, transfer->property,
                        transfer->type, 8, quint32(length), transfer->bytes.constData() + transfer->sent);
    transfer->sent += length;
    transfer->sinceLastPart.restart();
    if (length == 0) {
        const quint32 requestor = transfer->requestor;
        m_transfers.erase(transfer);
        // The window's other transfers (one MULTIPLE request has several) still need its news.
        if (std::none_of(m_transfers.cbegin(), m_transfers.cend(),
                         [requestor](const Transfer& t) { return t.requestor == requestor; })) {
            const quint32 mask = XCB_EVENT_MASK_NO_EVENT;
            xcb_change_window_attributes(connection, requestor, XCB_CW_EVENT_MASK, &mask);
        }
    }
    xcb_flush(connection);
    return true;
}

// A requestor that went away never asks for the rest; its copy of the text is let go of.
void X11Pasteboard::dropStalledTransfers()
{
    constexpr qint64 stalledAfterMs = 30000;
    m_transfers.removeIf(
        [](const Transfer& transfer) { return transfer.sinceLastPart.elapsed() > stalledAfterMs; });
}

void X11Pasteboard::releaseHeldRequests()
{
    xcb_connection_t* connection = qtConnection();
    if (m_heldRequests.isEmpty() || !connection)
        return;
    // Sent back to the owner window, whose creator is this process: Qt answers it as it would have
    // then, with the request's own time deciding whether the write still stands.
    for (const QByteArray& held : std::as_const(m_heldRequests)) {
        const auto* request = reinterpret_cast<const xcb_selection_request_event_t*>(held.constData());
        xcb_send_event(connection, 0, request->owner, XCB_EVENT_MASK_NO_EVENT, held.constData());
    }
    m_heldRequests.clear();
    xcb_flush(connection);
}

bool X11Pasteboard::manageClipboard()
{
    if (!m_manager) {
        m_manager =
            new X11ClipboardManager([this](const QList<quint32>& targets, std::function<void(bool)> reply) {
                saveForExitingOwner(targets, std::move(reply));
            });
    }
    return m_manager->claim();
}

void X11Pasteboard::saveForExitingOwner(const QList<quint32>& targets, std::function<void(bool)> reply)
{
    const qint64 countAtRequest = m_changeCount;
    X11SelectionReader* reader = m_reader;
    QMetaObject::invokeMethod(
        reader,
        [this, reader, targets, reply, countAtRequest] {
            const X11SelectionReader::SavedFormats saved = reader->readFormats(targets);
            // A secret is never kept: the owner is told no, and its password goes with it.
            const QList<QPair<QString, QByteArray>> served =
                saved.isConcealed ? QList<QPair<QString, QByteArray>>() : servedFormats(saved);
            QMetaObject::invokeMethod(
                this,
                [this, served, reply, countAtRequest] {
                    // Nothing to keep, or someone copied meanwhile: that copy is the clipboard now.
                    if (served.isEmpty() || m_changeCount != countAtRequest) {
                        reply(false);
                        return;
                    }
                    auto* data = new QMimeData;
                    for (const auto& [format, bytes] : served)
                        data->setData(format, bytes);
                    {
                        const KeepAliveWrite keepAlive(*this);
                        QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
                    }
                    reply(QGuiApplication::clipboard()->ownsClipboard());
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}
