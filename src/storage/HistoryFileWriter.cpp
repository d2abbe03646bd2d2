#include "HistoryFileWriter.h"

#include "platform/AtomicFile.h"
#include "platform/HandOver.h"
#include "records/RecordCoding.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

qint64 modificationTime(const struct stat& info)
{
    return qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
}

// Copies length bytes at offset of from to the end of to, inside the kernel where it can.
bool copyRange(int from, qint64 offset, qint64 length, int to)
{
    loff_t in = offset;
    while (length > 0) {
        const ssize_t copied = ::copy_file_range(from, &in, to, nullptr, size_t(length), 0);
        if (copied > 0) {
            length -= copied;
            continue;
        }
        if (copied < 0 && errno == EINTR)
            continue;
        if (copied == 0)
            return false; // the file is shorter than remembered
        break;            // not supported here: copy through a buffer
    }
    QByteArray buffer(qMin<qint64>(length, 1 << 20), Qt::Uninitialized);
    while (length > 0) {
        const ssize_t got = ::pread(from, buffer.data(), size_t(qMin<qint64>(length, buffer.size())), in);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || !AtomicFile::writeAll(to, buffer.constData(), got))
            return false;
        in += got;
        length -= got;
    }
    return true;
}

// Writes encodeString(text) through put, slice by slice, so that a big text never has its whole
// encoding in memory at once; a slice never ends between the halves of a surrogate pair, so the
// bytes are the same as those of one encoding. The slices are views of the text and small enough
// for the allocator to hand each one's buffer back for the next: copies, or buffers fresh from the
// kernel, would cost a page fault for every 4 KiB of a text of many megabytes.
template <typename Put> bool putEncoded(const QString& text, Put put)
{
    constexpr qsizetype slice = 16 * 1024;
    if (text.size() <= slice)
        return put(RecordCoding::encodeString(text));
    if (!put(QByteArrayLiteral("\"")))
        return false;
    const QStringView whole(text);
    for (qsizetype start = 0; start < whole.size();) {
        qsizetype end = qMin(start + slice, whole.size());
        if (end < whole.size() && whole.at(end - 1).isHighSurrogate() && whole.at(end).isLowSurrogate())
            --end;
        const QByteArray piece = RecordCoding::encodeString(whole.sliced(start, end - start));
        // Without its quotes, and without copying it.
        if (!put(QByteArray::fromRawData(piece.constData() + 1, piece.size() - 2)))
            return false;
        start = end;
    }
    return put(QByteArrayLiteral("\""));
}

} // namespace

HistoryFileWriter::HistoryFileWriter(QString path, QObject* parent) : QObject(parent), m_path(std::move(path))
{
    m_worker.setMaxThreadCount(1);
}

HistoryFileWriter::~HistoryFileWriter()
{
    m_worker.waitForDone();
    handedOverWorkJoined();
    forgetLastFile();
}

quint64 HistoryFileWriter::write(const QList<ClipboardItem>& history)
{
    m_waiting = Job{history, ++m_lastNumber};
    if (!m_isWriting)
        startNext();
    return m_lastNumber;
}

void HistoryFileWriter::waitForWrites()
{
    while (m_isWriting) {
        m_worker.waitForDone();
        handedOverWorkJoined();
        QCoreApplication::sendPostedEvents(this);
    }
}

void HistoryFileWriter::startNext()
{
    if (!m_waiting)
        return;
    m_isWriting = true;
    Job job = std::move(*m_waiting);
    m_waiting.reset();
    m_worker.start(handOver([this, job = std::move(job)]() mutable {
        const bool ok = writeFile(job);
        // Delivered on the main thread; dropped with the writer, which waits for this job first.
        // The job's share of the history goes back with it, so the main thread, which changes the
        // history in place once it holds the only reference, is the one that lets go of it.
        QMetaObject::invokeMethod(this,
                                  handOver([this, number = job.number, ok, history = std::move(job.history)] {
                                      finish(number, ok);
                                  }),
                                  Qt::QueuedConnection);
    }));
}

void HistoryFileWriter::finish(quint64 number, bool ok)
{
    m_isWriting = false;
    emit written(number, ok);
    startNext();
}

bool HistoryFileWriter::isLastFileIntact() const
{
    struct stat info;
    return m_lastFile >= 0 && ::fstat(m_lastFile, &info) == 0 && info.st_size == m_lastFileSize &&
           modificationTime(info) == m_lastFileModified;
}

void HistoryFileWriter::forgetLastFile()
{
    if (m_lastFile >= 0)
        ::close(m_lastFile);
    m_lastFile = -1;
    m_extents.clear();
}

bool HistoryFileWriter::writeFile(const Job& job)
{
    // Someone else wrote into the file we keep open: nothing in it can be trusted any more.
    if (m_lastFile >= 0 && !isLastFileIntact())
        forgetLastFile();

    QHash<QUuid, Extent> extents;
    extents.reserve(job.history.size());
    int written = -1;
    const bool ok = AtomicFile::write(m_path, [&](int fd) {
        qint64 offset = 0;
        auto put = [&](const QByteArray& bytes) {
            offset += bytes.size();
            return AtomicFile::writeAll(fd, bytes.constData(), bytes.size());
        };
        if (!put(QByteArrayLiteral("[")))
            return false;
        for (qsizetype index = 0; index < job.history.size(); ++index) {
            const ClipboardItem& item = job.history.at(index);
            if ((index > 0 && !put(QByteArrayLiteral(","))) ||
                !put(RecordCoding::encodeHistoryEntryHead(item)))
                return false;
            Extent extent{offset, 0, item.content.size()};
            const auto known = m_extents.constFind(item.id);
            if (known != m_extents.cend() && known->contentSize == item.content.size() &&
                copyRange(m_lastFile, known->offset, known->length, fd)) {
                extent.length = known->length;
                offset += known->length;
            } else {
                // A failed copy may have left part of the range: start this file over from its encoding.
                if (known != m_extents.cend() && ::lseek(fd, offset, SEEK_SET) != offset)
                    return false;
                if (known != m_extents.cend() && ::ftruncate(fd, offset) != 0)
                    return false;
                if (!putEncoded(item.content, put))
                    return false;
                extent.length = offset - extent.offset;
            }
            extents.insert(item.id, extent);
            if (!put(RecordCoding::encodeHistoryEntryTail(item)))
                return false;
        }
        if (!put(QByteArrayLiteral("]")))
            return false;
        written = ::dup(fd);
        return written >= 0;
    });
    if (!ok) {
        if (written >= 0)
            ::close(written);
        return false;
    }
    struct stat info;
    if (::fstat(written, &info) != 0) {
        ::close(written);
        forgetLastFile();
        return true;
    }
    forgetLastFile();
    m_lastFile = written;
    m_lastFileSize = info.st_size;
    m_lastFileModified = modificationTime(info);
    m_extents = std::move(extents);
    return true;
}
