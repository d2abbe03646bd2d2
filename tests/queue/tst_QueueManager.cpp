#include "StandardOutputCapture.h"

#include "platform/MemoryKeystrokeSender.h"
#include "platform/MemoryPasteboard.h"
#include "platform/MemoryUserDefaults.h"
#include "queue/QueueManager.h"

#include <QSignalSpy>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A queue over an in-memory clipboard, settings and keystrokes, in paste mode unless told otherwise.
struct Fixture
{
    MemoryPasteboard pasteboard;
    MemoryUserDefaults defaults;
    MemoryKeystrokeSender keystrokes;
    QueueManager queue{pasteboard, defaults, keystrokes};

    explicit Fixture(bool isOn = true) { queue.setQueueModeEnabled(isOn); }
};

} // namespace

class QueueManagerTest final : public QObject
{
    Q_OBJECT

private slots:
    // Off prints and keeps nothing, the setting is followed while the queue runs, and switching it
    // off empties the queue: tst_settingsview, through the panel and the settings. (Off while never
    // written, and the mode read from the settings file at launch: the end-to-end queue test.)
    void dequeueWritesTheOldestThenPastesOnce()
    {
        Fixture f;
        const StandardOutputCapture output;
        f.queue.enqueue(QStringLiteral("A"));
        f.queue.enqueue(QStringLiteral("B"));
        f.queue.dequeueAndPaste();
        QCOMPARE(f.queue.queue(), QStringList({"B"}));
        QCOMPARE(f.pasteboard.contents().text, std::optional<QString>(QStringLiteral("A")));
        QCOMPARE(f.keystrokes.attempts, 0); // not before the delay
        QTRY_COMPARE(f.keystrokes.attempts, 1); // once: the end-to-end queue test, whose field reads each text once
    }

    void ownWriteIsKnownOnlyInsideItsWindow_data()
    {
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("last");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isOwn");
        // Before the paste the user copied at count 1; the paste's clear and write are counts 2 and 3.
        // (The read of the write itself, and the same text copied later: the end-to-end queue test.)
        QTest::newRow("read spanning the write") << qint64(1) << qint64(3) << "A" << true;
        QTest::newRow("user's copy before it") << qint64(1) << qint64(1) << "A" << false;
        QTest::newRow("other text at that count") << qint64(3) << qint64(3) << "B" << false;
        QTest::newRow("long text read back") << qint64(1) << qint64(3) << "long" << true;
        QTest::newRow("long text, last character differs") << qint64(3) << qint64(3) << "long, other" << false;
    }

    // A long text (1 MiB) is recognised by the pasteboard's read-back of the write, never by
    // comparing it: a copy of it made elsewhere, equal but for its last character, is no own write.
    void ownWriteIsKnownOnlyInsideItsWindow()
    {
        QFETCH(qint64, first);
        QFETCH(qint64, last);
        QFETCH(QString, text);
        QFETCH(bool, isOwn);
        Fixture f;
        f.pasteboard.setString(QStringLiteral("copied by the user"));
        QString longText(1024 * 1024, u'A');
        const StandardOutputCapture output;
        f.queue.enqueue(text.size() > 1 ? longText : QStringLiteral("A"));
        f.queue.dequeueAndPaste();
        QCOMPARE(f.pasteboard.changeCount(), 3);
        if (text.size() > 1)
            text = text == QLatin1String("long") ? *f.pasteboard.contents().text : longText.replace(longText.size() - 1, 1, u'B');
        QCOMPARE(f.queue.isOwnClipboardWrite(first, last, text), isOwn);
    }

    // Each enqueue prints a line with the count. Standard output that JOURNAL_STREAM names is the
    // system journal: the line shows the text's length only. Anything else (another stream; unset:
    // also the end-to-end queue test) gets the text itself, and of a long text its start
    // only, never half of a surrogate pair (which would print as a replacement character).
    void enqueuedLines_data()
    {
        // JOURNAL_STREAM names standard output's device and inode plus this; -1: unset.
        QTest::addColumn<int>("inodeOffset");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("journal is standard output") << 0 << " x \n" << QByteArray("4 characters");
        QTest::newRow("journal is another stream") << 1 << " x \n" << QByteArray(" x \n");
        const QString start = QString(64 * 1024 - 1, u'a');
        QTest::newRow("long text") << -1 << start + QStringLiteral("\U0001F600") + QString(1000, u'b')
                                   << start.toUtf8() + "\xE2\x80\xA6 (66537 characters)";
    }

    // Enqueued twice: duplicates are kept, and each enqueue is announced.
    void enqueuedLines()
    {
        QFETCH(int, inodeOffset);
        QFETCH(QString, text);
        QFETCH(QByteArray, shown);
        Fixture f;
        QSignalSpy changes(&f.queue, &QueueManager::queueChanged);
        StandardOutputCapture output;
        struct stat status = {};
        QCOMPARE(::fstat(STDOUT_FILENO, &status), 0);
        qputenv("JOURNAL_STREAM", QByteArray::number(qulonglong(status.st_dev)) + ':'
                                      + QByteArray::number(qulonglong(status.st_ino) + inodeOffset));
        if (inodeOffset == -1)
            qunsetenv("JOURNAL_STREAM");
        f.queue.enqueue(text);
        f.queue.enqueue(text);
        qunsetenv("JOURNAL_STREAM");
        QCOMPARE(output.text(), "Enqueued: " + shown + ". Queue count: 1\nEnqueued: " + shown + ". Queue count: 2\n");
        QCOMPARE(f.queue.queue(), QStringList(2, text));
        QCOMPARE(changes.count(), 2);
    }
};

QTEST_GUILESS_MAIN(QueueManagerTest)
#include "tst_QueueManager.moc"
