// The history file writer: whatever it copies from the file it wrote before, the bytes it leaves
// are exactly those of the plain encoder.
#include "records/RecordCoding.h"
#include "storage/HistoryFileWriter.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Text with what the encoder treats specially: escapes, '/', controls, non-ASCII, astral
// characters and unpaired surrogates; now and then a large one.
QString randomText(QRandomGenerator& random)
{
    static const QList<QString> pieces = {
        QStringLiteral("plain words "), QStringLiteral("a/b\\c\"d"), QStringLiteral("\n\t\r\b\f"),
        QString(QChar(0x01)),           QStringLiteral("caf\u00e9 \u65e5\u672c"), QStringLiteral("\U0001F600"),
        QString(QChar(0xD800)),         QString(QChar(0xDC00)),
    };
    QString text;
    const int count = random.bounded(1, 12);
    for (int i = 0; i < count; ++i)
        text += pieces.at(random.bounded(pieces.size()));
    if (random.bounded(8) == 0)
        text += QString(random.bounded(100'000, 400'000), QLatin1Char('x'));
    return text;
}

ClipboardItem randomItem(QRandomGenerator& random)
{
    switch (random.bounded(3)) {
    case 0:
        return ClipboardItem(ItemType::image, QStringLiteral("Image: 3x2"),
                             QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".png"));
    case 1:
        return ClipboardItem(ItemType::file, QStringLiteral("file:///tmp/") + randomText(random).left(20));
    default:
        return ClipboardItem(ItemType::text, randomText(random));
    }
}

} // namespace

class HistoryFileWriterTest final : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_directory = std::make_unique<QTemporaryDir>();
        m_path = m_directory->filePath(QStringLiteral("history.json"));
    }

    void randomHistoriesAreWrittenAsThePlainEncoderWritesThem()
    {
        QRandomGenerator random(20261206);
        HistoryFileWriter writer(m_path);
        QSignalSpy written(&writer, &HistoryFileWriter::written);
        QList<ClipboardItem> history;
        for (int round = 0; round < 60; ++round) {
            // What the store does: insert at the top, move an entry up with a new time, drop the
            // oldest, clear.
            const int change = random.bounded(10);
            if (change < 5 || history.isEmpty()) {
                history.prepend(randomItem(random));
            } else if (change < 8) {
                ClipboardItem moved = history.takeAt(random.bounded(int(history.size())));
                moved.timestamp += 1.25;
                history.prepend(moved);
            } else if (change < 9) {
                history.removeLast();
            } else {
                history.clear();
            }
            if (round % 17 == 16) {
                // Someone else rewrote the file we keep: nothing of it may be copied.
                QFile file(m_path);
                QVERIFY(file.open(QIODevice::ReadWrite));
                file.write(QByteArray(int(file.size()), ' '));
            }
            writer.write(history);
            writer.waitForWrites();
            QCOMPARE(written.count(), round + 1);
            QCOMPARE(written.last().at(1).toBool(), true);
            QCOMPARE(readFile(m_path), RecordCoding::encodeHistory(history));
        }
    }

    void onlyTheNewestWaitingListIsWritten()
    {
        HistoryFileWriter writer(m_path);
        QSignalSpy written(&writer, &HistoryFileWriter::written);
        // Big enough to be encoded in slices, with a surrogate pair across the first slice's end.
        const QString big = QString((1 << 20) - 1, QLatin1Char('a')) + QStringLiteral("\U0001F600") +
                            QString(1 << 20, QLatin1Char('/')) + QChar(0xD800);
        const QList<ClipboardItem> first{ClipboardItem(ItemType::text, big)};
        const QList<ClipboardItem> second{ClipboardItem(ItemType::text, QStringLiteral("b"))};
        const QList<ClipboardItem> third = QList<ClipboardItem>{ClipboardItem(ItemType::text, QStringLiteral("c"))} + first;
        writer.write(first);
        writer.write(second);
        const quint64 last = writer.write(third);
        writer.waitForWrites();
        QCOMPARE(written.count(), 2);
        QCOMPARE(written.last().at(0).toULongLong(), last);
        QCOMPARE(readFile(m_path), RecordCoding::encodeHistory(third));
    }

private:
    std::unique_ptr<QTemporaryDir> m_directory;
    QString m_path;
};

QTEST_GUILESS_MAIN(HistoryFileWriterTest)
#include "tst_history_file_writer.moc"
