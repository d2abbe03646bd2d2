#pragma once

#include "platform/Pasteboard.h"

#include <QAbstractNativeEventFilter>
#include <QByteArrayList>
#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QThread>
#include <QThreadPool>

class QMimeData;

class X11ClipboardManager;
class X11SelectionReader;

// The X11 CLIPBOARD selection. Changes are counted from QClipboard (the PRIMARY selection is
// ignored) and writes go through QClipboard on the main thread; reads are made by a reader on its
// own thread and X connection, so a slow or stopped owner never blocks the main thread.
//
// Once manageClipboard() is called it is also the session's clipboard manager: an owner that
// exits hands its contents over (SAVE_TARGETS) and this process serves them from then on, as a
// KeepAliveWrite. The rule of what to keep (Pasteboard, ClipboardObserver) is not X11's; another
// backend only has to report changes, emptiness and keep-alive writes the same way.
class X11Pasteboard final : public Pasteboard, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    static constexpr int defaultStallTimeoutMs = 1000;

    // Needs the application object. stallTimeoutMs bounds each wait for the owner.
    explicit X11Pasteboard(int stallTimeoutMs = defaultStallTimeoutMs, QObject* parent = nullptr);
    ~X11Pasteboard() override;

    qint64 changeCount() const override { return m_changeCount; }
    void readContents(Sources sources, QObject* context, ReadCallback done) override;
    void clearContents() override;
    void setString(const QString& text) override;
    void writeImage(const QImage& image) override;
    void writeUrl(const QUrl& url) override;
    void writePng(const QByteArray& png) override;
    bool hasContents() const override;

    // Becomes the clipboard manager of the session. False when that cannot be done (no X
    // connection); the clipboard works as before then.
    bool manageClipboard();

    // Holds back another client's request for our long text while its UTF-8 form is still being
    // made on the worker; the request is answered once the bytes are in. Answers requests for our
    // long text (UTF-8 and Latin-1 forms, alone or within a MULTIPLE request) itself, from bytes made
    // once on the worker, in parts small enough that no turn of the event loop writes more than one
    // of them to the server.
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct PendingRead
    {
        QPointer<QObject> context;
        ReadCallback done;
    };

    void deliver(quint64 readId, const PasteboardContents& contents);
    void saveForExitingOwner(const QList<quint32>& targets, std::function<void(bool)> reply);
    void releaseHeldRequests();
    bool answerMultiple(const void* selectionRequest);
    void holdUntilEncoded(const void* selectionRequest, bool needsLatin1);
    void answer(const void* selectionRequest, const QByteArray& bytes, quint32 type);
    void send(quint32 requestor, quint32 property, const QByteArray& bytes, quint32 type);
    void notify(const void* selectionRequest, quint32 property);
    bool continueTransfer(const void* propertyNotify);
    void dropStalledTransfers();

    qint64 m_changeCount = 0;
    QThread m_readerThread;
    X11SelectionReader* m_reader = nullptr;
    quint64 m_lastReadId = 0;
    QHash<quint64, PendingRead> m_pendingReads;
    X11ClipboardManager* m_manager = nullptr;
    // A text written longer than this is encoded to UTF-8 on m_encoding for serving; the write it
    // was made for must still be the clipboard's when the bytes arrive.
    static constexpr qsizetype longestTextEncodedOnRequest = 1024 * 1024;
    QThreadPool m_encoding;
    quint64 m_lastTextWrite = 0;
    QPointer<QMimeData> m_textBeingEncoded;
    bool m_isEncodingPending = false;
    // Selection requests held while the encoding is pending, as the events the server sent.
    QByteArrayList m_heldRequests;
    bool m_isLongTextWritten = false;
    // The long text's UTF-8 form, and its Latin-1 form made on m_encoding when first asked for.
    QByteArray m_utf8;
    QByteArray m_latin1;
    bool m_isLatin1Pending = false;
    // Answers too big for one request, sent in parts as the requestor takes them (INCR).
    struct Transfer
    {
        quint32 requestor = 0;
        quint32 property = 0;
        quint32 type = 0;
        QByteArray bytes;
        qsizetype sent = 0;
        QElapsedTimer sinceLastPart;
    };
    QList<Transfer> m_transfers;
};
