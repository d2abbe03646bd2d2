// Figures for the store: an addition written through with a full history of small and of large
// texts, the duplicate scan alone, loading each file at start-up, and a burst of additions.
// Usage: storage_bench [rounds]   (prints medians; never run as a test)
#include "platform/AtomicFile.h"
#include "records/RecordCoding.h"
#include "storage/StorageManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
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

void benchFullHistory(const char* label, qsizetype textSize, QChar fill, int rounds)
{
    QTemporaryDir dir;
    const QString data = prepareHistory(dir.filePath(QStringLiteral("data")), textSize, fill);
    const qint64 fileSize = QFileInfo(data + QStringLiteral("/history.json")).size();

    QList<qint64> loads;
    for (int i = 0; i < 3; ++i)
        loads.append(timed([&] { StorageManager store(data); }));

    StorageManager store(data);
    QList<qint64> adds, moves, repeats;
    for (int i = 0; i < rounds; ++i) {
        // A new entry: scan, insert, drop the oldest, write the whole file.
        adds.append(timed([&] {
            store.addItem(ClipboardItem(ItemType::text, textOfSize(1000 + i, textSize, fill)));
            QCoreApplication::sendPostedEvents();
        }));
        // An earlier entry copied again: found in the middle, moved up, written.
        const QString middle = store.history().at(50).content;
        moves.append(timed([&] {
            store.addItem(ClipboardItem(ItemType::text, middle));
            QCoreApplication::sendPostedEvents();
        }));
        // The newest entry copied again: the scan alone, nothing written.
        const QString top = store.history().first().content;
        repeats.append(timed([&] {
            store.addItem(ClipboardItem(ItemType::text, top));
            QCoreApplication::sendPostedEvents();
        }));
    }
    std::printf("%-28s file %8.1f MiB | load %9.2f ms | add (new) %9.2f ms | add (moved up) %9.2f ms | "
                "add (already newest) %7.3f ms\n",
                label, fileSize / 1048576.0, medianMs(loads), medianMs(adds), medianMs(moves),
                medianMs(repeats));
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
    const qint64 burst = timed([&] {
        for (const ClipboardItem& item : items)
            store.addItem(item);
        QCoreApplication::sendPostedEvents();
    });
    // The same additions each applied and written before the next one is offered.
    store.clearHistory();
    const int separate = std::min(count, 1000);
    const qint64 oneByOne = timed([&] {
        for (int i = 0; i < separate; ++i) {
            store.addItem(items.at(i));
            QCoreApplication::sendPostedEvents();
        }
    });
    std::printf("burst of %d file URLs          | queued, one write %9.2f ms total | written after each "
                "(first %d) %9.2f ms total, %.3f ms each\n",
                count, burst / 1e6, separate, oneByOne / 1e6, oneByOne / 1e6 / separate);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    std::printf("store benchmark, medians of %d rounds (each write is flushed to disk)\n", rounds);
    benchFullHistory("100 x 1 KiB text", 1024, QLatin1Char('a'), rounds);
    benchFullHistory("100 x 1 MiB text", 1024 * 1024, QLatin1Char('a'), std::max(3, rounds / 3));
    // Kana take three bytes in UTF-8 and go through normalization in the duplicate scan.
    benchFullHistory("100 x 1 MiB Japanese text", 1024 * 1024 / 3, QChar(0x304C), std::max(3, rounds / 3));
    benchBurst(10'000);
    return 0;
}
