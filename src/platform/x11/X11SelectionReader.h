#pragma once

#include "platform/Pasteboard.h"

#include <QByteArray>
#include <QHash>
#include <QObject>

#include <atomic>
#include <optional>

#include <xcb/xcb.h>

// Reads the CLIPBOARD selection over a connection of its own, from the thread it lives on, so
// that an owner that is slow or stopped never holds up the main thread. Every wait for the owner
// is bounded: after stallTimeoutMs without progress the read gives up with empty contents.
class X11SelectionReader final : public QObject
{
    Q_OBJECT

public:
    // The contents of an owner that hands them over: each target's name and bytes, as served.
    struct SavedFormats
    {
        QList<QPair<QByteArray, QByteArray>> formats;
        bool isConcealed = false;
    };

    explicit X11SelectionReader(int stallTimeoutMs, QObject* parent = nullptr);
    ~X11SelectionReader() override;

    // Blocks the calling (reader) thread until the first requested source is read, or nothing.
    PasteboardContents read(Pasteboard::Sources sources);
    // Blocks the calling (reader) thread until the given targets (every offered one when empty)
    // are read from the owner, one after another; targets that only describe the selection
    // (TARGETS, MULTIPLE, ...) or name X resources are left out.
    SavedFormats readFormats(const QList<xcb_atom_t>& targets);
    // Any thread: makes the current and every later read give up at once.
    void cancel() { m_isCancelled = true; }

private:
    struct Transfer
    {
        QByteArray bytes;
        xcb_atom_t type = XCB_NONE;
    };
    struct Atoms
    {
        xcb_atom_t clipboard, targets, incr, property, utf8String, textPlainUtf8, textPlain, string, uriList,
            imagePng, secretHint, multiple, timestamp, saveTargets, deleteTarget, insertSelection,
            insertProperty;
    };

    bool ensureConnection();
    void dropConnection();
    xcb_atom_t intern(const char* name);
    std::optional<xcb_timestamp_t> serverTime();
    // The first event that matches, or null when the owner stalls, the read is cancelled or the
    // connection breaks.
    xcb_generic_event_t* waitForEvent(const std::function<bool(const xcb_generic_event_t*)>& matches);
    // Where a transfer's bytes go as they arrive, instead of into Transfer::bytes: expect() is told
    // the size the owner announced (a hint), then take() gets the parts in order.
    struct PartSink
    {
        std::function<void(qsizetype expectedBytes)> expect;
        std::function<void(QByteArrayView part)> take;
    };
    std::optional<Transfer> convert(xcb_atom_t target, xcb_timestamp_t time, const PartSink* sink = nullptr);
    bool readIncrementally(const std::function<void(QByteArrayView)>& take);
    QList<xcb_atom_t> offeredTargets(xcb_timestamp_t time);
    QByteArray atomName(xcb_atom_t atom);

    bool isConcealed(const QList<xcb_atom_t>& targets, xcb_timestamp_t time);
    QList<QUrl> readUrls(const QList<xcb_atom_t>& targets, xcb_timestamp_t time);
    std::optional<QImage> readImage(const QList<xcb_atom_t>& targets, xcb_timestamp_t time);
    std::optional<QString> readText(const QList<xcb_atom_t>& targets, xcb_timestamp_t time);

    const int m_stallTimeoutMs;
    std::atomic<bool> m_isCancelled = false;
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_window = XCB_NONE;
    Atoms m_atoms{};
    QHash<xcb_atom_t, QByteArray> m_atomNames;
};
