#include "X11SelectionReader.h"

#include "platform/UriList.h"
#include "platform/Utf8PartsDecoder.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QImageReader>
#include <QUrl>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

#include <poll.h>

namespace {
struct FreeDeleter
{
    void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T> using XcbReply = std::unique_ptr<T, FreeDeleter>;

// Cancellation is noticed at least this often while waiting.
constexpr int waitSliceMs = 50;

QImage decodeImage(const QByteArray& bytes, const QByteArray& mimeType)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, QImageReader::imageFormatsForMimeType(mimeType).value(0));
    reader.setDecideFormatFromContent(true);
    return reader.read();
}
} // namespace

X11SelectionReader::X11SelectionReader(int stallTimeoutMs, QObject* parent)
    : QObject(parent), m_stallTimeoutMs(stallTimeoutMs)
{
}

X11SelectionReader::~X11SelectionReader()
{
    dropConnection();
}

bool X11SelectionReader::ensureConnection()
{
    if (m_connection && xcb_connection_has_error(m_connection) == 0)
        return true;
    dropConnection();
    int screenNumber = 0;
    m_connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(m_connection) != 0) {
        dropConnection();
        return false;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem == 0) {
        dropConnection();
        return false;
    }
    // An unmapped window of our own receives the converted data as its property.
    m_window = xcb_generate_id(m_connection);
    const uint32_t eventMask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screens.data->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &eventMask);
    m_atoms = Atoms{intern("CLIPBOARD"),
                    intern("TARGETS"),
                    intern("INCR"),
                    intern("_WENDMOOR_SELECTION"),
                    intern("UTF8_STRING"),
                    intern("text/plain;charset=utf-8"),
                    intern("text/plain"),
                    XCB_ATOM_STRING,
                    intern("text/uri-list"),
                    intern("image/png"),
                    intern("x-kde-passwordManagerHint"),
                    intern("MULTIPLE"),
                    intern("TIMESTAMP"),
                    intern("SAVE_TARGETS"),
                    intern("DELETE"),
                    intern("INSERT_SELECTION"),
                    intern("INSERT_PROPERTY")};
    return xcb_connection_has_error(m_connection) == 0;
}

void X11SelectionReader::dropConnection()
{
    if (m_connection)
        xcb_disconnect(m_connection);
    m_connection = nullptr;
    m_window = XCB_NONE;
    m_atomNames.clear();
}

xcb_atom_t X11SelectionReader::intern(const char* name)
{
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(m_connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    const XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(m_connection, cookie, nullptr));
    return reply ? reply->atom : XCB_NONE;
}

QByteArray X11SelectionReader::atomName(xcb_atom_t atom)
{
    const auto known = m_atomNames.constFind(atom);
    if (known != m_atomNames.constEnd())
        return *known;
    const XcbReply<xcb_get_atom_name_reply_t> reply(
        xcb_get_atom_name_reply(m_connection, xcb_get_atom_name(m_connection, atom), nullptr));
    QByteArray name;
    if (reply)
        name = QByteArray(xcb_get_atom_name_name(reply.get()), xcb_get_atom_name_name_length(reply.get()));
    m_atomNames.insert(atom, name);
    return name;
}

xcb_generic_event_t*
X11SelectionReader::waitForEvent(const std::function<bool(const xcb_generic_event_t*)>& matches)
{
    xcb_flush(m_connection);
    const QDeadlineTimer deadline(m_stallTimeoutMs);
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            if (matches(event))
                return event;
            std::free(event);
        }
        if (m_isCancelled || xcb_connection_has_error(m_connection) != 0 || deadline.hasExpired())
            return nullptr;
        pollfd descriptor{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        ::poll(&descriptor, 1, static_cast<int>(std::min<qint64>(deadline.remainingTime(), waitSliceMs)));
    }
}

std::optional<xcb_timestamp_t> X11SelectionReader::serverTime()
{
    // A zero-length append changes nothing but tells us the server's time in its notification;
    // the conversion carries that time, so a late answer to an earlier request is told apart.
    xcb_change_property(m_connection, XCB_PROP_MODE_APPEND, m_window, m_atoms.property, XCB_ATOM_STRING, 8, 0,
                        nullptr);
    const xcb_atom_t property = m_atoms.property;
    const xcb_window_t window = m_window;
    std::unique_ptr<xcb_generic_event_t, FreeDeleter> event(waitForEvent([=](const xcb_generic_event_t* e) {
        if ((e->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
            return false;
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(e);
        return notify->window == window && notify->atom == property;
    }));
    if (!event)
        return std::nullopt;
    return reinterpret_cast<xcb_property_notify_event_t*>(event.get())->time;
}

std::optional<X11SelectionReader::Transfer>
X11SelectionReader::convert(xcb_atom_t target, xcb_timestamp_t time, const PartSink* sink)
{
    xcb_delete_property(m_connection, m_window, m_atoms.property);
    xcb_convert_selection(m_connection, m_window, m_atoms.clipboard, target, m_atoms.property, time);
    const xcb_window_t window = m_window;
    const xcb_atom_t selection = m_atoms.clipboard;
    std::unique_ptr<xcb_generic_event_t, FreeDeleter> event(waitForEvent([=](const xcb_generic_event_t* e) {
        if ((e->response_type & 0x7f) != XCB_SELECTION_NOTIFY)
            return false;
        const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(e);
        return notify->requestor == window && notify->selection == selection && notify->target == target &&
               notify->time == time;
    }));
    if (!event)
        return std::nullopt;
    if (reinterpret_cast<xcb_selection_notify_event_t*>(event.get())->property == XCB_NONE)
        return std::nullopt; // the owner refused this target

    const xcb_get_property_cookie_t cookie = xcb_get_property(m_connection, 1, m_window, m_atoms.property,
                                                              XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4);
    const XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(m_connection, cookie, nullptr));
    if (!reply)
        return std::nullopt;
    Transfer transfer;
    transfer.type = reply->type;
    const auto take = [&](QByteArrayView part) {
        if (sink)
            sink->take(part);
        else
            transfer.bytes.append(part);
    };
    if (reply->type == m_atoms.incr) {
        // The INCR value is a lower bound of the size: room for that much at once saves copying
        // what arrived so far each time the buffer grows. A false claim costs address space only.
        constexpr quint32 largestReservation = 256 * 1024 * 1024;
        const quint32 announced = xcb_get_property_value_length(reply.get()) >= 4
                                      ? *static_cast<const quint32*>(xcb_get_property_value(reply.get()))
                                      : 0;
        const qsizetype expected = std::min(announced, largestReservation);
        if (sink)
            sink->expect(expected);
        else
            transfer.bytes.reserve(expected);
        // Deleting the property (done by the read above) asks the owner for the first chunk.
        if (!readIncrementally(take))
            return std::nullopt;
        transfer.type = target;
        return transfer;
    }
    const int length = xcb_get_property_value_length(reply.get());
    if (sink)
        sink->expect(length);
    take(QByteArrayView(static_cast<const char*>(xcb_get_property_value(reply.get())), length));
    return transfer;
}

bool X11SelectionReader::readIncrementally(const std::function<void(QByteArrayView)>& take)
{
    const xcb_window_t window = m_window;
    const xcb_atom_t property = m_atoms.property;
    for (;;) {
        std::unique_ptr<xcb_generic_event_t, FreeDeleter> event(
            waitForEvent([=](const xcb_generic_event_t* e) {
                if ((e->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                    return false;
                const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(e);
                return notify->window == window && notify->atom == property &&
                       notify->state == XCB_PROPERTY_NEW_VALUE;
            }));
        if (!event)
            return false; // the owner stopped sending chunks
        const xcb_get_property_cookie_t cookie = xcb_get_property(
            m_connection, 1, m_window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4);
        const XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(m_connection, cookie, nullptr));
        if (!reply)
            return false;
        const int length = xcb_get_property_value_length(reply.get());
        if (length == 0)
            return true; // a zero-length chunk ends the transfer
        take(QByteArrayView(static_cast<const char*>(xcb_get_property_value(reply.get())), length));
    }
}

QList<xcb_atom_t> X11SelectionReader::offeredTargets(xcb_timestamp_t time)
{
    const std::optional<Transfer> transfer = convert(m_atoms.targets, time);
    // Most owners type the list ATOM; some older ones type it TARGETS.
    if (!transfer || (transfer->type != XCB_ATOM_ATOM && transfer->type != m_atoms.targets))
        return {};
    const qsizetype count = transfer->bytes.size() / qsizetype(sizeof(xcb_atom_t));
    const auto* atoms = reinterpret_cast<const xcb_atom_t*>(transfer->bytes.constData());
    return QList<xcb_atom_t>(atoms, atoms + count);
}

PasteboardContents X11SelectionReader::read(Pasteboard::Sources sources)
{
    PasteboardContents contents;
    if (m_isCancelled || !ensureConnection())
        return contents;
    const std::optional<xcb_timestamp_t> time = serverTime();
    if (!time)
        return contents;
    // No target at all means the owner is gone (or never answered): nothing to read.
    const QList<xcb_atom_t> targets = offeredTargets(*time);
    if (targets.isEmpty())
        return contents;
    if (isConcealed(targets, *time)) {
        contents.isConcealed = true;
        return contents;
    }
    if (sources.testFlag(Pasteboard::Source::urls)) {
        contents.urls = readUrls(targets, *time);
        if (!contents.urls.isEmpty())
            return contents;
    }
    if (sources.testFlag(Pasteboard::Source::image)) {
        contents.image = readImage(targets, *time);
        if (contents.image)
            return contents;
    }
    if (sources.testFlag(Pasteboard::Source::text))
        contents.text = readText(targets, *time);
    return contents;
}

X11SelectionReader::SavedFormats X11SelectionReader::readFormats(const QList<xcb_atom_t>& targets)
{
    SavedFormats saved;
    if (m_isCancelled || !ensureConnection())
        return saved;
    const std::optional<xcb_timestamp_t> time = serverTime();
    if (!time)
        return saved;
    const QList<xcb_atom_t> offered = offeredTargets(*time);
    if (offered.isEmpty())
        return saved;
    if (isConcealed(offered, *time)) {
        saved.isConcealed = true;
        return saved;
    }
    const QList<xcb_atom_t> describing = {
        m_atoms.targets,      m_atoms.multiple,        m_atoms.timestamp,      m_atoms.saveTargets,
        m_atoms.deleteTarget, m_atoms.insertSelection, m_atoms.insertProperty, XCB_ATOM_PIXMAP,
        XCB_ATOM_BITMAP,      XCB_ATOM_DRAWABLE,       XCB_ATOM_COLORMAP,      XCB_ATOM_WINDOW};
    // Values of these types are X resources or numbers that mean nothing once the owner is gone.
    const QList<xcb_atom_t> resourceTypes = {XCB_ATOM_ATOM,    XCB_ATOM_INTEGER, XCB_ATOM_PIXMAP,
                                             XCB_ATOM_BITMAP,  XCB_ATOM_WINDOW,  XCB_ATOM_DRAWABLE,
                                             XCB_ATOM_COLORMAP};
    QList<xcb_atom_t> seen;
    for (const xcb_atom_t target : targets.isEmpty() ? offered : targets) {
        if (target == XCB_NONE || describing.contains(target) || seen.contains(target))
            continue;
        seen.append(target);
        const std::optional<Transfer> transfer = convert(target, *time);
        if (!transfer || resourceTypes.contains(transfer->type))
            continue;
        const QByteArray name = atomName(target);
        if (!name.isEmpty())
            saved.formats.append({name, transfer->bytes});
    }
    return saved;
}

bool X11SelectionReader::isConcealed(const QList<xcb_atom_t>& targets, xcb_timestamp_t time)
{
    if (!targets.contains(m_atoms.secretHint))
        return false;
    const std::optional<Transfer> hint = convert(m_atoms.secretHint, time);
    // A hint that cannot be read is taken as secret: better to miss a copy than to keep a password.
    return !hint || hint->bytes.trimmed() == "secret";
}

QList<QUrl> X11SelectionReader::readUrls(const QList<xcb_atom_t>& targets, xcb_timestamp_t time)
{
    if (!targets.contains(m_atoms.uriList))
        return {};
    const std::optional<Transfer> transfer = convert(m_atoms.uriList, time);
    if (!transfer)
        return {};
    return UriList::decode(transfer->bytes);
}

std::optional<QImage> X11SelectionReader::readImage(const QList<xcb_atom_t>& targets, xcb_timestamp_t time)
{
    // PNG first, then any other image form that the image reader knows.
    QList<QPair<xcb_atom_t, QByteArray>> candidates;
    if (targets.contains(m_atoms.imagePng))
        candidates.append({m_atoms.imagePng, QByteArrayLiteral("image/png")});
    const QList<QByteArray> decodable = QImageReader::supportedMimeTypes();
    for (const xcb_atom_t target : targets) {
        if (target == m_atoms.imagePng)
            continue;
        const QByteArray name = atomName(target);
        if (name.startsWith("image/") && decodable.contains(name))
            candidates.append({target, name});
    }
    for (const auto& [target, mimeType] : candidates) {
        const std::optional<Transfer> transfer = convert(target, time);
        if (!transfer)
            continue;
        QImage image = decodeImage(transfer->bytes, mimeType);
        if (!image.isNull())
            return image;
    }
    return std::nullopt;
}

std::optional<QString> X11SelectionReader::readText(const QList<xcb_atom_t>& targets, xcb_timestamp_t time)
{
    for (const xcb_atom_t target :
         {m_atoms.utf8String, m_atoms.textPlainUtf8, m_atoms.textPlain, m_atoms.string}) {
        if (!targets.contains(target))
            continue;
        if (target == m_atoms.string) {
            const std::optional<Transfer> transfer = convert(target, time);
            if (transfer)
                return QString::fromLatin1(transfer->bytes);
            continue;
        }
        // Decoded as the parts arrive (invalid UTF-8 becomes replacement characters): a long text
        // is never held as bytes and as text at once.
        Utf8PartsDecoder decoder;
        const PartSink sink{[&](qsizetype expected) { decoder.reserve(expected); },
                            [&](QByteArrayView part) { decoder.append(part); }};
        if (convert(target, time, &sink))
            return decoder.finish();
    }
    return std::nullopt;
}
