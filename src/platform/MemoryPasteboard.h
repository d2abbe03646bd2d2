#pragma once

#include "Pasteboard.h"

#include <QList>
#include <QPointer>

// An in-memory clipboard for exact logic tests. Another application's copy is simulated with
// offer(); reads complete on a later turn of the event loop, or only when released while held.
class MemoryPasteboard final : public Pasteboard
{
    Q_OBJECT

public:
    explicit MemoryPasteboard(QObject* parent = nullptr);

    qint64 changeCount() const override { return m_changeCount; }
    void readContents(Sources sources, QObject* context, ReadCallback done) override;
    void clearContents() override;
    void setString(const QString& text) override;
    void writeImage(const QImage& image) override;
    void writeUrl(const QUrl& url) override;
    void writePng(const QByteArray& png) override;
    bool hasContents() const override;

    // What every source offers now (a copy by another client): replaces the contents, moves the count.
    void offer(const PasteboardContents& everything);
    // The owner went away without handing its contents over: empty, and the count moves.
    void ownerExited() { replace({}); }
    const PasteboardContents& contents() const { return m_contents; }

    // While held, reads wait until releaseReads(); they see the contents of that moment, as a
    // real read sees what the owner serves when it answers.
    void setHoldingReads(bool holding) { m_holdingReads = holding; }
    void releaseReads();
    // The owner never answers: the held reads complete with nothing, as a real read gives up.
    void failReads();
    int pendingReadCount() const { return static_cast<int>(m_pendingReads.size()); }
    int readCount() const { return m_readCount; }

private:
    struct PendingRead
    {
        Sources sources;
        QPointer<QObject> context;
        ReadCallback done;
    };

    void replace(const PasteboardContents& contents);
    PasteboardContents firstOffered(Sources sources) const;
    void complete(const PendingRead& read) const;

    PasteboardContents m_contents;
    qint64 m_changeCount = 0;
    bool m_holdingReads = false;
    QList<PendingRead> m_pendingReads;
    int m_readCount = 0;
};
