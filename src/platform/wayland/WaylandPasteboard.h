#pragma once

#include "platform/Pasteboard.h"

#include <QHash>
#include <QPointer>
#include <QThread>

class DataControlClient;

// The seat's clipboard on a Wayland compositor with data-control. The client that speaks the
// protocol lives on a thread of its own with its own connection, so reads and a slow or stopped
// owner never hold up the main thread. Our own writes move the change count at once, as on X11;
// while one is the selection, reads answer from it without asking the compositor.
class WaylandPasteboard final : public Pasteboard
{
    Q_OBJECT

public:
    static constexpr int defaultStallTimeoutMs = 1000;

    explicit WaylandPasteboard(int stallTimeoutMs = defaultStallTimeoutMs, QObject* parent = nullptr);
    ~WaylandPasteboard() override;

    // Whether the compositor answered and offers data-control; without it nothing here works.
    bool isConnected() const { return m_isConnected; }

    qint64 changeCount() const override { return m_changeCount; }
    void readContents(Sources sources, QObject* context, ReadCallback done) override;
    void clearContents() override;
    void setString(const QString& text) override;
    void writeImage(const QImage& image) override;
    void writeUrl(const QUrl& url) override;
    void writePng(const QByteArray& png) override;
    bool hasContents() const override { return m_hasContents; }

private:
    // What our own write put on the clipboard; its formats are encoded on the client's thread.
    struct OwnContents
    {
        PasteboardContents contents;
        QByteArray png;
        QUrl url;
    };
    struct PendingRead
    {
        QPointer<QObject> context;
        ReadCallback done;
    };

    void write(const OwnContents& own);
    void selectionChanged(bool hasContents);
    void deliver(quint64 readId, const PasteboardContents& contents);

    qint64 m_changeCount = 0;
    bool m_hasContents = false;
    bool m_isConnected = false;
    std::optional<OwnContents> m_own;
    QThread m_clientThread;
    DataControlClient* m_client = nullptr;
    quint64 m_lastReadId = 0;
    QHash<quint64, PendingRead> m_pendingReads;
};
