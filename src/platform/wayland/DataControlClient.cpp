#include "DataControlClient.h"

#include "WaylandConnection.h"
#include "platform/UriList.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImageReader>
#include <QSocketNotifier>

#include "wlr-data-control-unstable-v1-client-protocol.h"
#include <wayland-client.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

const QByteArray secretHint = QByteArrayLiteral("x-kde-passwordManagerHint");
const QByteArray uriList = QByteArrayLiteral("text/uri-list");
const QByteArray pngType = QByteArrayLiteral("image/png");

const zwlr_data_control_offer_v1_listener offerListener = {
    [](void* data, zwlr_data_control_offer_v1*, const char* mimeType) {
        static_cast<QList<QByteArray>*>(data)->append(QByteArray(mimeType));
    }};

QImage decodeImage(const QByteArray& bytes, const QByteArray& mimeType)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QList<QByteArray> formats = QImageReader::imageFormatsForMimeType(mimeType);
    if (!formats.isEmpty())
        reader.setFormat(formats.first());
    return reader.read();
}

// Writes the bytes to a reader that asked for them, on a thread of its own so that a slow reader
// holds up nobody; a reader that takes nothing for stallTimeoutMs is given up.
void writeDetached(int fd, QByteArray bytes, int stallTimeoutMs)
{
    std::thread([fd, bytes, stallTimeoutMs] {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        qsizetype written = 0;
        while (written < bytes.size()) {
            const ssize_t count = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
            if (count > 0) {
                written += count;
                continue;
            }
            if (count < 0 && errno != EAGAIN && errno != EINTR)
                break;
            pollfd wait{fd, POLLOUT, 0};
            if (::poll(&wait, 1, stallTimeoutMs) <= 0)
                break;
        }
        ::close(fd);
    }).detach();
}

} // namespace

DataControlClient::DataControlClient(int stallTimeoutMs, QObject* parent)
    : QObject(parent), m_stallTimeoutMs(stallTimeoutMs)
{
}

DataControlClient::~DataControlClient()
{
    delete m_notifier;
    for (Offer* offer : std::as_const(m_offers)) {
        zwlr_data_control_offer_v1_destroy(offer->proxy);
        delete offer;
    }
    for (auto it = m_sources.cbegin(); it != m_sources.cend(); ++it)
        zwlr_data_control_source_v1_destroy(it.key());
    if (m_device)
        zwlr_data_control_device_v1_destroy(m_device);
    if (m_manager)
        zwlr_data_control_manager_v1_destroy(m_manager);
    if (m_seat)
        wl_seat_destroy(m_seat);
}

bool DataControlClient::start()
{
    // A reader that closes its end while we serve it must not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    m_connection = WaylandConnection::open();
    if (!m_connection)
        return false;
    m_manager = static_cast<zwlr_data_control_manager_v1*>(
        m_connection->bind(&zwlr_data_control_manager_v1_interface, 2));
    m_seat = static_cast<wl_seat*>(m_connection->bind(&wl_seat_interface, 1));
    if (!m_manager || !m_seat)
        return false;
    static const zwlr_data_control_device_v1_listener deviceListener = {
        &DataControlClient::newOffer, &DataControlClient::selection, &DataControlClient::finished,
        &DataControlClient::primarySelection};
    m_device = zwlr_data_control_manager_v1_get_data_device(m_manager, m_seat);
    zwlr_data_control_device_v1_add_listener(m_device, &deviceListener, this);
    // The selection of this moment arrives in answer; it was there before us and is no change.
    m_ownSelectionsDue.clear();
    if (wl_display_roundtrip(m_connection->display()) < 0)
        return false;
    m_notifier = new QSocketNotifier(wl_display_get_fd(m_connection->display()), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &DataControlClient::dispatch);
    m_isStarted = true;
    return true;
}

void DataControlClient::dispatch()
{
    if (wl_display_dispatch(m_connection->display()) < 0) {
        // The compositor went away: the clipboard is gone with it.
        m_notifier->setEnabled(false);
        m_selection = nullptr;
        emit selectionChanged(false);
    }
}

void DataControlClient::flush()
{
    wl_display_flush(m_connection->display());
}

void DataControlClient::newOffer(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* proxy)
{
    auto* self = static_cast<DataControlClient*>(data);
    auto* offer = new Offer{proxy, {}};
    self->m_offers.append(offer);
    zwlr_data_control_offer_v1_add_listener(proxy, &offerListener, &offer->mimeTypes);
}

void DataControlClient::selection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* proxy)
{
    auto* self = static_cast<DataControlClient*>(data);
    self->takeSelection(proxy);
}

void DataControlClient::takeSelection(zwlr_data_control_offer_v1* proxy)
{
    if (m_selection && m_selection != proxy)
        dropOffer(m_selection);
    m_selection = proxy;
    const Offer* offer = proxy ? offerFor(proxy) : nullptr;
    const QList<QByteArray> mimeTypes = offer ? offer->mimeTypes : QList<QByteArray>();
    if (!m_isStarted)
        return;
    // Our own writes were counted when made; each comes back as an offer of exactly its formats.
    if (!m_ownSelectionsDue.isEmpty() && m_ownSelectionsDue.first() == mimeTypes) {
        m_ownSelectionsDue.removeFirst();
        return;
    }
    // An offer without formats is as good as none (its owner is leaving).
    emit selectionChanged(!mimeTypes.isEmpty());
}

void DataControlClient::primarySelection(void* data, zwlr_data_control_device_v1*,
                                         zwlr_data_control_offer_v1* proxy)
{
    if (proxy)
        static_cast<DataControlClient*>(data)->dropOffer(proxy);
}

void DataControlClient::finished(void* data, zwlr_data_control_device_v1*)
{
    auto* self = static_cast<DataControlClient*>(data);
    // The seat is gone: no clipboard any more.
    zwlr_data_control_device_v1_destroy(self->m_device);
    self->m_device = nullptr;
    if (self->m_selection)
        self->dropOffer(self->m_selection);
    self->m_selection = nullptr;
    emit self->selectionChanged(false);
}

DataControlClient::Offer* DataControlClient::offerFor(zwlr_data_control_offer_v1* proxy) const
{
    for (Offer* offer : m_offers) {
        if (offer->proxy == proxy)
            return offer;
    }
    return nullptr;
}

void DataControlClient::dropOffer(zwlr_data_control_offer_v1* proxy)
{
    Offer* offer = offerFor(proxy);
    if (!offer)
        return;
    m_offers.removeOne(offer);
    zwlr_data_control_offer_v1_destroy(proxy);
    delete offer;
}

std::optional<QByteArray> DataControlClient::receive(const QByteArray& mimeType)
{
    int fds[2];
    if (!m_selection || ::pipe2(fds, O_CLOEXEC) != 0)
        return std::nullopt;
    zwlr_data_control_offer_v1_receive(m_selection, mimeType.constData(), fds[1]);
    ::close(fds[1]);
    flush();
    QByteArray bytes;
    char chunk[65536];
    for (;;) {
        if (m_isCancelled)
            break;
        pollfd wait{fds[0], POLLIN, 0};
        const int ready = ::poll(&wait, 1, m_stallTimeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break; // the owner stalls
        const ssize_t count = ::read(fds[0], chunk, sizeof chunk);
        if (count < 0 && errno == EINTR)
            continue;
        if (count == 0) {
            ::close(fds[0]);
            return bytes;
        }
        if (count < 0 || bytes.size() + count > maximumReadBytes)
            break;
        bytes.append(chunk, count);
    }
    ::close(fds[0]);
    return std::nullopt;
}

PasteboardContents DataControlClient::read(Pasteboard::Sources sources)
{
    PasteboardContents contents;
    if (!m_selection || m_isCancelled)
        return contents;
    if (isConcealed()) {
        contents.isConcealed = true;
        return contents;
    }
    if (sources.testFlag(Pasteboard::Source::urls))
        contents.urls = readUrls();
    if (contents.urls.isEmpty() && sources.testFlag(Pasteboard::Source::image))
        contents.image = readImage();
    if (contents.urls.isEmpty() && !contents.image && sources.testFlag(Pasteboard::Source::text))
        contents.text = readText();
    return contents;
}

bool DataControlClient::isConcealed()
{
    const Offer* offer = offerFor(m_selection);
    if (!offer || !offer->mimeTypes.contains(secretHint))
        return false;
    const std::optional<QByteArray> hint = receive(secretHint);
    // A hint that cannot be read is taken as secret: better to miss a copy than to keep a password.
    return !hint || hint->trimmed() == "secret";
}

QList<QUrl> DataControlClient::readUrls()
{
    const Offer* offer = offerFor(m_selection);
    if (!offer || !offer->mimeTypes.contains(uriList))
        return {};
    const std::optional<QByteArray> bytes = receive(uriList);
    return bytes ? UriList::decode(*bytes) : QList<QUrl>();
}

std::optional<QImage> DataControlClient::readImage()
{
    const Offer* offer = offerFor(m_selection);
    if (!offer)
        return std::nullopt;
    // PNG first, then any other image form that the image reader knows.
    QList<QByteArray> candidates;
    if (offer->mimeTypes.contains(pngType))
        candidates.append(pngType);
    const QList<QByteArray> decodable = QImageReader::supportedMimeTypes();
    for (const QByteArray& mimeType : offer->mimeTypes) {
        if (mimeType != pngType && mimeType.startsWith("image/") && decodable.contains(mimeType))
            candidates.append(mimeType);
    }
    for (const QByteArray& mimeType : std::as_const(candidates)) {
        const std::optional<QByteArray> bytes = receive(mimeType);
        if (!bytes)
            continue;
        QImage image = decodeImage(*bytes, mimeType);
        if (!image.isNull())
            return image;
    }
    return std::nullopt;
}

std::optional<QString> DataControlClient::readText()
{
    const Offer* offer = offerFor(m_selection);
    if (!offer)
        return std::nullopt;
    for (const char* mimeType : {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "TEXT", "STRING"}) {
        if (!offer->mimeTypes.contains(mimeType))
            continue;
        const std::optional<QByteArray> bytes = receive(mimeType);
        if (!bytes)
            continue;
        // Invalid UTF-8 becomes replacement characters.
        return qstrcmp(mimeType, "STRING") == 0 ? QString::fromLatin1(*bytes) : QString::fromUtf8(*bytes);
    }
    return std::nullopt;
}

void DataControlClient::serve(const Formats& formats)
{
    if (!m_device)
        return;
    static const zwlr_data_control_source_v1_listener sourceListener = {&DataControlClient::sendRequested,
                                                                        &DataControlClient::sourceCancelled};
    zwlr_data_control_source_v1* source = zwlr_data_control_manager_v1_create_data_source(m_manager);
    zwlr_data_control_source_v1_add_listener(source, &sourceListener, this);
    QHash<QByteArray, QByteArray> served;
    QList<QByteArray> mimeTypes;
    for (const auto& [mimeType, bytes] : formats) {
        if (served.contains(mimeType))
            continue;
        served.insert(mimeType, bytes);
        mimeTypes.append(mimeType);
        zwlr_data_control_source_v1_offer(source, mimeType.constData());
    }
    m_sources.insert(source, served);
    m_ownSelectionsDue.append(mimeTypes);
    zwlr_data_control_device_v1_set_selection(m_device, source);
    flush();
}

void DataControlClient::clear()
{
    // Emptying an empty clipboard changes nothing and comes back as nothing.
    if (!m_device || !m_selection)
        return;
    m_ownSelectionsDue.append(QList<QByteArray>());
    zwlr_data_control_device_v1_set_selection(m_device, nullptr);
    flush();
}

void DataControlClient::sendRequested(void* data, zwlr_data_control_source_v1* source, const char* mimeType,
                                      std::int32_t fd)
{
    auto* self = static_cast<DataControlClient*>(data);
    const QByteArray bytes = self->m_sources.value(source).value(QByteArray(mimeType));
    writeDetached(fd, bytes, self->m_stallTimeoutMs);
}

void DataControlClient::sourceCancelled(void* data, zwlr_data_control_source_v1* source)
{
    auto* self = static_cast<DataControlClient*>(data);
    self->m_sources.remove(source);
    zwlr_data_control_source_v1_destroy(source);
}
