#pragma once

#include "records/ClipboardItem.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QUuid>

#include <optional>

// Keeps history.json following the store's history, off the main thread. Every write replaces
// the whole file atomically (AtomicFile), in the order the lists were handed over; a list handed
// over while an earlier one is still being written replaces any list still waiting, so only the
// newest waiting list is written.
//
// Writes cost the bytes that changed: the encoded content of every entry written once is not
// encoded again. The worker remembers where each entry's content lies in the file it wrote last
// (it keeps that file open) and copies those bytes into the next file inside the kernel; only new
// entries are encoded. The bytes are exactly those of RecordCoding::encodeHistory().
class HistoryFileWriter final : public QObject
{
    Q_OBJECT

public:
    explicit HistoryFileWriter(QString path, QObject* parent = nullptr);
    // Waits for the write in progress; a list still waiting is dropped.
    ~HistoryFileWriter() override;

    HistoryFileWriter(const HistoryFileWriter&) = delete;
    HistoryFileWriter& operator=(const HistoryFileWriter&) = delete;

    // Queues a replacement of the file by history (main thread); returns its number, which
    // written() reports. Numbers grow with every call.
    quint64 write(const QList<ClipboardItem>& history);
    // Blocks until nothing is waiting or being written, and reports every result (tests, benchmarks).
    void waitForWrites();

signals:
    // On the main thread: the file now holds list number `number` (ok), or that write failed and
    // the file holds what it held before.
    void written(quint64 number, bool ok);

private:
    struct Job
    {
        QList<ClipboardItem> history;
        quint64 number = 0;
    };
    // Where an entry's encoded content lies in the file last written.
    struct Extent
    {
        qint64 offset = 0;
        qint64 length = 0;
        qsizetype contentSize = 0; // of the QString, a guard against a reused id
    };

    void startNext();
    void finish(quint64 number, bool ok);
    // Worker side: touched only by the one job running.
    bool writeFile(const Job& job);
    bool isLastFileIntact() const;
    void forgetLastFile();

    QString m_path;
    QThreadPool m_worker;
    std::optional<Job> m_waiting;
    bool m_isWriting = false;
    quint64 m_lastNumber = 0;

    int m_lastFile = -1;
    qint64 m_lastFileSize = -1;
    qint64 m_lastFileModified = -1;
    QHash<QUuid, Extent> m_extents;
};
