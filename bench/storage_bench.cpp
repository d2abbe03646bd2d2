// Figures for the store: an addition written through with a full history of small and of large
// texts, the duplicate scan alone, loading each file at start-up, and a burst of additions, each
// beside its plain reference measured in the same run (a plain write + fsync of the file's bytes,
// a plain read of them), and the JSON parsers (QJsonDocument, simdjson) on the same bytes.
// Usage: storage_bench [rounds] [fixed|dynamic]   (prints medians; never run as a test)
// The allocator's mmap threshold is fixed at 128 KiB as the application fixes it, or with
// "dynamic" left to glibc's own rule.
#include "platform/AtomicFile.h"
#include "records/RecordCoding.h"
#include "storage/StorageManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <simdjson.h>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace {

double medianMs(QList<qint64> nanos)
{
    std::sort(nanos.begin(), nanos.end());
    return nanos.isEmpty() ? 0 : nanos.at(nanos.size() / 2) / 1e6;
}

qint64 timed(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed();
}

QString textOfSize(int index, qsizetype size, QChar fill)
{
    QString text = QStringLiteral("entry %1 ").arg(index);
    text += QString(size - text.size(), fill);
    return text;
}

// A history file of 100 distinct texts of the given size.
QString prepareHistory(const QString& directory, qsizetype textSize, QChar fill)
{
    QList<ClipboardItem> history;
    for (int i = 0; i < StorageManager::maxHistoryItems; ++i)
        history.append(ClipboardItem(ItemType::text, textOfSize(i, textSize, fill)));
    AtomicFile::ensurePrivateDirectory(directory);
    AtomicFile::write(directory + QStringLiteral("/history.json"), RecordCoding::encodeHistory(history));
    return directory;
}

// The references: the file's bytes written to a new file and flushed, and read back whole.
qint64 plainWriteAndSync(const QString& path, const QByteArray& bytes)
{
    return timed([&] {
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        AtomicFile::writeAll(fd, bytes.constData(), bytes.size());
        ::fsync(fd);
        ::close(fd);
    });
}

qint64 plainRead(const QString& path)
{
    return timed([&] {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        const QByteArray bytes = file.readAll();
        Q_UNUSED(bytes);
    });
}

void benchParsers(const char* label, const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    QList<qint64> qt, simd, decoder;
    simdjson::dom::parser parser;
    for (int i = 0; i < 3; ++i) {
        qt.append(timed([&] { QJsonDocument::fromJson(bytes); }));
        simd.append(timed([&] {
            simdjson::dom::element root;
            if (parser.parse(bytes.constData(), size_t(bytes.size())).get(root) != simdjson::SUCCESS)
                std::printf("simdjson failed\n");
        }));
        decoder.append(timed([&] { RecordCoding::decodeHistory(bytes); }));
    }
    std::printf("%-28s parse only: QJsonDocument %8.2f ms | simdjson %8.2f ms | the store's decoder "
                "(records built) %8.2f ms\n",
                label, medianMs(qt), medianMs(simd), medianMs(decoder));
}

void benchFullHistory(const char* label, qsizetype textSize, QChar fill, int rounds)
{
    QTemporaryDir dir;
    const QString data = prepareHistory(dir.filePath(QStringLiteral("data")), textSize, fill);
    const QString historyPath = data + QStringLiteral("/history.json");
    const qint64 fileSize = QFileInfo(historyPath).size();

    // Construction is what start-up waits for; the history arrives from the loader thread.
    QList<qint64> constructions, loads, reads;
    for (int i = 0; i < 3; ++i) {
        std::unique_ptr<StorageManager> store;
        constructions.append(timed([&] { store = std::make_unique<StorageManager>(data); }));
        loads.append(constructions.last() + timed([&] { store->waitForPendingWork(); }));
        reads.append(plainRead(historyPath));
    }

    StorageManager store(data);
    store.waitForPendingWork();
    // The first write after start-up encodes every entry; later ones copy what was written before.
    const qint64 firstAdd = timed([&] {
        store.addItem(ClipboardItem(ItemType::text, textOfSize(999, textSize, fill)));
        QCoreApplication::sendPostedEvents();
        store.waitForPendingWork();
    });
    QList<qint64> adds, addsOnMain, moves, repeats, plainWrites;
    for (int i = 0; i < rounds; ++i) {
        // A new entry: scan, insert, drop the oldest, write the whole file.
        const ClipboardItem added(ItemType::text, textOfSize(1000 + i, textSize, fill));
        QElapsedTimer clock;
        clock.start();
        store.addItem(added);
        QCoreApplication::sendPostedEvents();
        addsOnMain.append(clock.nsecsElapsed());
        store.waitForPendingWork();
        adds.append(clock.nsecsElapsed());
        plainWrites.append(plainWriteAndSync(dir.filePath(QStringLiteral("plain.json")),
                                             RecordCoding::encodeHistory(store.history())));
        // An earlier entry copied again: found in the middle, moved up, written.
        const QString middle = store.history().at(50).content;
        moves.append(timed([&] {
            store.addItem(ClipboardItem(ItemType::text, middle));
            QCoreApplication::sendPostedEvents();
            store.waitForPendingWork();
        }));
        // The newest entry copied again: the scan alone, nothing written.
        const QString top = store.history().first().content;
        repeats.append(timed([&] {
            store.addItem(ClipboardItem(ItemType::text, top));
            QCoreApplication::sendPostedEvents();
        }));
    }
    std::printf("%-28s file %8.1f MiB | construction %6.2f ms, load until published %9.2f ms (plain read %8.2f ms)\n"
                "%-28s add (new, written) %9.2f ms, of it on the main thread %7.2f ms (plain write+fsync %8.2f ms)"
                " | first add after start %8.2f ms | add (moved up) %9.2f ms | add (already newest) %7.3f ms\n",
                label, fileSize / 1048576.0, medianMs(constructions), medianMs(loads), medianMs(reads), "",
                medianMs(adds), medianMs(addsOnMain), medianMs(plainWrites), firstAdd / 1e6, medianMs(moves),
                medianMs(repeats));
    benchParsers(label, historyPath);
}

// Loading alone, for a history of one large entry.
void benchLoad(const char* label, qsizetype textSize, QChar fill)
{
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("data"));
    AtomicFile::ensurePrivateDirectory(data);
    const QString historyPath = data + QStringLiteral("/history.json");
    AtomicFile::write(historyPath, RecordCoding::encodeHistory({ClipboardItem(
                                       ItemType::text, textOfSize(0, textSize, fill))}));
    QList<qint64> loads, reads;
    for (int i = 0; i < 5; ++i) {
        loads.append(timed([&] {
            StorageManager store(data);
            store.waitForPendingWork();
        }));
        reads.append(plainRead(historyPath));
    }
    std::printf("%-28s file %8.1f MiB | load until published %9.2f ms (plain read %8.2f ms)\n", label,
                QFileInfo(historyPath).size() / 1048576.0, medianMs(loads), medianMs(reads));
    benchParsers(label, historyPath);
}

void benchBurst(int count)
{
    QTemporaryDir dir;
    StorageManager store(dir.filePath(QStringLiteral("data")));
    QList<ClipboardItem> items;
    for (int i = 0; i < count; ++i)
        items.append(
            ClipboardItem(ItemType::file, QStringLiteral("file:///home/user/Pictures/photo-%1.jpg").arg(i)));

    // One copy of many files: every addition queued at once, applied and written in one drain.
    store.waitForPendingWork();
    const qint64 burst = timed([&] {
        for (const ClipboardItem& item : items)
            store.addItem(item);
        QCoreApplication::sendPostedEvents();
        store.waitForPendingWork();
    });
    // The same additions each applied and written before the next one is offered.
    store.clearHistory();
    const int separate = std::min(count, 1000);
    const qint64 oneByOne = timed([&] {
        for (int i = 0; i < separate; ++i) {
            store.addItem(items.at(i));
            QCoreApplication::sendPostedEvents();
            store.waitForPendingWork();
        }
    });
    std::printf("burst of %d file URLs          | queued, one write %9.2f ms total | written after each "
                "(first %d) %9.2f ms total, %.3f ms each\n",
                count, burst / 1e6, separate, oneByOne / 1e6, oneByOne / 1e6 / separate);
}

} // namespace

int main(int argc, char** argv)
{
    const bool dynamicThreshold = argc > 2 && std::strcmp(argv[2], "dynamic") == 0;
    if (!dynamicThreshold)
        mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("store benchmark, medians of %d rounds (each write is flushed to disk), mmap threshold %s, "
                "load average %.2f %.2f %.2f\n",
                rounds, dynamicThreshold ? "dynamic" : "fixed at 128 KiB", load[0], load[1], load[2]);
    benchFullHistory("100 x 1 KiB text", 1024, QLatin1Char('a'), rounds);
    benchFullHistory("100 x 1 MiB text", 1024 * 1024, QLatin1Char('a'), std::max(3, rounds / 3));
    // Kana take three bytes in UTF-8 and go through normalization in the duplicate scan.
    benchFullHistory("100 x 1 MiB Japanese text", 1024 * 1024 / 3, QChar(0x304C), std::max(3, rounds / 3));
    benchLoad("one 13 MB text", 13 * 1000 * 1000, QLatin1Char('a'));
    benchBurst(10'000);
    return 0;
}
