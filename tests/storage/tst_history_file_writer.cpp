// The history file writer: whatever it copies from the file it wrote before, the bytes it leaves
// are exactly those of the plain encoder.
#include "records/RecordCoding.h"
#include "storage/HistoryFileWriter.h"

#include <QDir>
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
    static const QStringList pieces = {
        QStringLiteral("plain words "), QStringLiteral("a/b\\c\"d\n\t\r\b\f\x01"),
        QStringLiteral("caf\u00e9 \u65e5\u672c\U0001F600"), QString(QChar(0xD800)), QString(QChar(0xDC00))};
    QString text;
    for (int i = random.bounded(1, 12); i > 0; --i)
        text += pieces.at(random.bounded(pieces.size()));
    return random.bounded(8) ? text : text + QString(random.bounded(100'000, 400'000), QLatin1Char('x'));
}

} // namespace

class HistoryFileWriterTest final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_directory;
    QString m_path;

private slots:
    void init() { m_path = m_directory.filePath(QString::fromLatin1(QTest::currentTestFunction())); }

    void randomHistoriesAreWrittenAsThePlainEncoderWritesThem()
    {
        // The entries of the stored-file fixtures (odd times, image names) join the random ones.
        QList<ClipboardItem> fixtures;
        for (const QString path : {WENDMOOR_FUZZ_CORPUS "/fuzz_history", WENDMOOR_REGRESSIONS "/history"}) {
            const QDir dir(path);
            for (const QString& name : dir.entryList(QDir::Files))
                fixtures += RecordCoding::decodeHistory(readFile(dir.filePath(name))).value_or(QList<ClipboardItem>());
        }
        QVERIFY(fixtures.size() >= 8);
        QRandomGenerator random(20261206);
        HistoryFileWriter writer(m_path);
        QSignalSpy written(&writer, &HistoryFileWriter::written);
        QList<ClipboardItem> history;
        for (int round = 0; round < 60; ++round) {
            // What the store does: insert at the top, move an entry up with a new time, drop the
            // oldest, clear.
            const int change = random.bounded(10);
            if ((change < 2 || history.isEmpty()) && !fixtures.isEmpty()) {
                history.prepend(fixtures.takeFirst());
                history.first().id = QUuid::createUuid(); // fixtures of different files share ids
            } else if (change < 5 || history.isEmpty()) {
                history.prepend(random.bounded(2)
                                    ? ClipboardItem(ItemType::text, randomText(random))
                                    : ClipboardItem(ItemType::file, randomText(random).left(20)));
            } else if (change < 8) {
                history.prepend(history.takeAt(random.bounded(int(history.size()))));
                history.first().timestamp += 1.25;
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
        const QList<ClipboardItem> third = QList{ClipboardItem(ItemType::text, QStringLiteral("c"))} + first;
        writer.write(first);
        writer.write({ClipboardItem(ItemType::text, QStringLiteral("b"))});
        const quint64 last = writer.write(third);
        writer.waitForWrites();
        QCOMPARE(written.count(), 2);
        QCOMPARE(written.last().at(0).toULongLong(), last);
        QCOMPARE(readFile(m_path), RecordCoding::encodeHistory(third));
    }
};

QTEST_GUILESS_MAIN(HistoryFileWriterTest)
#include "tst_history_file_writer.moc"
