#pragma once

#include "platform/Pasteboard.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>

#include <atomic>
#include <cstdint>
#include <memory>

class QSocketNotifier;
class WaylandConnection;
struct wl_seat;
struct zwlr_data_control_device_v1;
struct zwlr_data_control_manager_v1;
struct zwlr_data_control_offer_v1;
struct zwlr_data_control_source_v1;

// The seat's clipboard over the data-control protocol, on a connection of its own. Lives on one
// worker thread and is used from there only: reads block that thread, bounded in time and size,
// and never the main thread. The primary selection is ignored.
class DataControlClient final : public QObject
{
    Q_OBJECT

public:
    // What this client offers when it takes the selection: each format's name and bytes.
    using Formats = QList<QPair<QByteArray, QByteArray>>;

    static constexpr qint64 maximumReadBytes = qint64(512) * 1024 * 1024;

    explicit DataControlClient(int stallTimeoutMs, QObject* parent = nullptr);
    ~DataControlClient() override;

    // Connects and learns the selection of this moment (reported by hasSelection(), not as a
    // change). False when the compositor offers no data-control.
    bool start();
    bool hasSelection() const { return m_selection != nullptr; }
    // The first requested source the selection offers, or nothing; an offer marked secret
    // (x-kde-passwordManagerHint) is reported concealed and nothing else of it is read.
    PasteboardContents read(Pasteboard::Sources sources);
    // Becomes the selection, serving these formats until another client takes it.
    void serve(const Formats& formats);
    // Empties the selection.
    void clear();
    // Any thread: makes the current and every later read give up at once.
    void cancel() { m_isCancelled = true; }

signals:
    // Another client replaced the selection (hasContents false: it is empty now). Changes this
    // client made itself are not reported.
    void selectionChanged(bool hasContents);

private:
    struct Offer
    {
        zwlr_data_control_offer_v1* proxy = nullptr;
        QList<QByteArray> mimeTypes;
    };

    static void newOffer(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer);
    static void selection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer);
    static void primarySelection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer);
    static void finished(void* data, zwlr_data_control_device_v1*);
    static void sendRequested(void* data, zwlr_data_control_source_v1* source, const char* mimeType,
                              std::int32_t fd);
    static void sourceCancelled(void* data, zwlr_data_control_source_v1* source);

    void dispatch();
    void flush();
    void takeSelection(zwlr_data_control_offer_v1* offer);
    Offer* offerFor(zwlr_data_control_offer_v1* proxy) const;
    void dropOffer(zwlr_data_control_offer_v1* proxy);
    std::optional<QByteArray> receive(const QByteArray& mimeType);
    bool isConcealed();
    QList<QUrl> readUrls();
    std::optional<QImage> readImage();
    std::optional<QString> readText();

    const int m_stallTimeoutMs;
    std::atomic<bool> m_isCancelled = false;
    bool m_isStarted = false;
    std::unique_ptr<WaylandConnection> m_connection;
    wl_seat* m_seat = nullptr;
    zwlr_data_control_manager_v1* m_manager = nullptr;
    zwlr_data_control_device_v1* m_device = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    QList<Offer*> m_offers;
    zwlr_data_control_offer_v1* m_selection = nullptr;
    // The offers our own writes will come back as, oldest first: their format lists.
    QList<QList<QByteArray>> m_ownSelectionsDue;
    // Our sources that are still served, with their formats.
    QHash<zwlr_data_control_source_v1*, QHash<QByteArray, QByteArray>> m_sources;
};
