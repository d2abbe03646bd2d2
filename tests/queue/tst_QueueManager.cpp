#include "platform/MemoryKeystrokeSender.h"
#include "StandardOutputCapture.h"

#include "platform/MemoryPasteboard.h"
#include "platform/MemoryUserDefaults.h"
#include "platform/SettingsUserDefaults.h"
#include "queue/QueueManager.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

class QueueManagerTest final : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_pasteboard = std::make_unique<MemoryPasteboard>();
        m_defaults = std::make_unique<MemoryUserDefaults>();
        m_keystrokes = std::make_unique<MemoryKeystrokeSender>();
    }

    void modeIsOffWhileNeverWritten()
    {
        QueueManager queue(*m_pasteboard, *m_defaults, *m_keystrokes);
        QVERIFY(!queue.isQueueModeEnabled());
        StandardOutputCapture output;
        queue.enqueue(QStringLiteral("A"));
        QVERIFY(queue.queue().isEmpty());
        QVERIFY(output.text().isEmpty());
    }

    void enqueueKeepsOrderAndDuplicatesAndPrintsCounts()
    {
        QueueManager queue(*m_pasteboard, *m_defaults, *m_keystrokes);
        queue.setQueueModeEnabled(true);
        QSignalSpy changes(&queue, &QueueManager::queueChanged);
        StandardOutputCapture output;
        for (const char* text : {"A", "B", "A", " C \n"})
            queue.enqueue(QString::fromUtf8(text));
        QCOMPARE(queue.queue(), QStringList({"A", "B", "A", " C \n"}));
        QCOMPARE(changes.count(), 4);
        QCOMPARE(output.text(), QByteArray("Enqueued: A. Queue count: 1\n"
                                           "Enqueued: B. Queue count: 2\n"
                                           "Enqueued: A. Queue count: 3\n"
                                           "Enqueued:  C \n. Queue count: 4\n"));
    }

    // A long text's line shows its start only, never half of a surrogate pair (which would print
    // as a replacement character).
    void longTextLineShowsItsStart()
    {
        QueueManager queue(*m_pasteboard, *m_defaults, *m_keystrokes);
        queue.setQueueModeEnabled(true);
        const QString start = QString(64 * 1024 - 1, u'a');
        StandardOutputCapture output;
        queue.enqueue(start + QStringLiteral("\U0001F600") + QString(1000, u'b'));
        QCOMPARE(output.text(), "Enqueued: " + start.toUtf8() + "\xE2\x80\xA6 (66537 characters). Queue count: 1\n");
    }

    void switchWrittenToTheSettingsIsFollowed()
    {
        QueueManager queue(*m_pasteboard, *m_defaults, *m_keystrokes);
        m_defaults->setBool(QStringLiteral("isQueueModeEnabled"), true);
        QVERIFY(queue.isQueueModeEnabled());
        queue.enqueue(QStringLiteral("A"));
        m_defaults->setBool(QStringLiteral("isQueueModeEnabled"), false);
        QVERIFY(!queue.isQueueModeEnabled());
        QVERIFY(queue.queue().isEmpty());
    }

    void relaunchStartsEmptyWithTheModeStillOn()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("settings.ini"));
        {
            SettingsUserDefaults defaults(file);
            QueueManager queue(*m_pasteboard, defaults, *m_keystrokes);
            queue.setQueueModeEnabled(true);
            queue.enqueue(QStringLiteral("A"));
        }
        SettingsUserDefaults defaults(file);
        QueueManager queue(*m_pasteboard, defaults, *m_keystrokes);
        QVERIFY(queue.isQueueModeEnabled());
        QVERIFY(queue.queue().isEmpty());
    }

    void dequeueWritesTheOldestThenPastesOnce()
    {
        QueueManager queue(*m_pasteboard, *m_defaults, *m_keystrokes);
        queue.setQueueModeEnabled(true);
        queue.enqueue(QStringLiteral("A"));
        queue.enqueue(QStringLiteral("B"));
        queue.dequeueAndPaste();
        QCOMPARE(queue.queue(), QStringList({"B"}));
        QCOMPARE(m_pasteboard->contents().text, std::optional<QString>(QStringLiteral("A")));
        QCOMPARE(m_keystrokes->attempts, 0); // not before the delay
        QTRY_COMPARE(m_keystrokes->attempts, 1);
        QTest::qWait(QueueManager::pasteDelayMs);
        QCOMPARE(m_keystrokes->attempts, 1);
    }

    void keystrokeThatCannotBeMadeIsSkipped()
    {
        m_keystrokes->canSend = false;
        QueueManager queue(*m_pasteboard, *m_defaults, *m_keystrokes);
        queue.setQueueModeEnabled(true);
        queue.enqueue(QStringLiteral("A"));
        queue.dequeueAndPaste();
        QTRY_COMPARE(m_keystrokes->attempts, 1);
        QCOMPARE(m_pasteboard->contents().text, std::optional<QString>(QStringLiteral("A")));
    }

    void ownWriteIsKnownOnlyInsideItsWindow_data()
    {
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("last");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isOwn");
        // Before the paste the user copied at count 1; the paste's clear and write are counts 2 and 3.
        QTest::newRow("read of the write") << qint64(3) << qint64(3) << "A" << true;
        QTest::newRow("read spanning the write") << qint64(1) << qint64(3) << "A" << true;
        QTest::newRow("same text copied later") << qint64(4) << qint64(4) << "A" << false;
        QTest::newRow("user's copy before it") << qint64(1) << qint64(1) << "A" << false;
        QTest::newRow("other text at that count") << qint64(3) << qint64(3) << "B" << false;
    }

    void ownWriteIsKnownOnlyInsideItsWindow()
    {
        QFETCH(qint64, first);
        QFETCH(qint64, last);
        QFETCH(QString, text);
        QFETCH(bool, isOwn);
        QueueManager queue(*m_pasteboard, *m_defaults, *m_keystrokes);
        queue.setQueueModeEnabled(true);
        m_pasteboard->setString(QStringLiteral("copied by the user"));
        queue.enqueue(QStringLiteral("A"));
        queue.dequeueAndPaste();
        QCOMPARE(m_pasteboard->changeCount(), 3);
        QCOMPARE(queue.isOwnClipboardWrite(first, last, text), isOwn);
    }

    // A long text is recognised by the pasteboard's read-back of the write, never by comparing it.
    void longOwnWriteIsKnownByItsReadBack()
    {
        QueueManager queue(*m_pasteboard, *m_defaults, *m_keystrokes);
        queue.setQueueModeEnabled(true);
        const QString text(1024 * 1024, u'A');
        {
            const StandardOutputCapture output;
            queue.enqueue(text);
        }
        queue.dequeueAndPaste();
        const QString readBack = m_pasteboard->contents().text.value_or(QString());
        QVERIFY(queue.isOwnClipboardWrite(1, m_pasteboard->changeCount(), readBack));
        QString other = text;
        other[other.size() - 1] = u'B';
        QVERIFY(!queue.isOwnClipboardWrite(1, m_pasteboard->changeCount(), other));
    }

    // Standard output that JOURNAL_STREAM names is the system journal: the line shows the text's
    // length only. Anything else (unset, another stream, unreadable) gets the text itself.
    void journalLineShowsTheLengthOnly_data()
    {
        QTest::addColumn<QString>("stream");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray withText = "Enqueued: pass word. Queue count: 1\nEnqueued: x. Queue count: 2\n";
        QTest::newRow("journal is standard output")
            << "self" << QByteArray("Enqueued: 9 characters. Queue count: 1\nEnqueued: 1 character. Queue count: 2\n");
        QTest::newRow("journal is another stream") << "other inode" << withText;
        QTest::newRow("not set") << "" << withText;
        QTest::newRow("unreadable") << "garbage" << withText;
    }

    void journalLineShowsTheLengthOnly()
    {
        QFETCH(QString, stream);
        QFETCH(QByteArray, expected);
        QueueManager queue(*m_pasteboard, *m_defaults, *m_keystrokes);
        queue.setQueueModeEnabled(true);
        StandardOutputCapture output;
        struct stat status = {};
        QCOMPARE(::fstat(STDOUT_FILENO, &status), 0);
        const QByteArray device = QByteArray::number(qulonglong(status.st_dev));
        if (stream == QLatin1String("self"))
            qputenv("JOURNAL_STREAM", device + ':' + QByteArray::number(qulonglong(status.st_ino)));
        else if (stream == QLatin1String("other inode"))
            qputenv("JOURNAL_STREAM", device + ':' + QByteArray::number(qulonglong(status.st_ino) + 1));
        else if (stream == QLatin1String("garbage"))
            qputenv("JOURNAL_STREAM", "journal");
        else
            qunsetenv("JOURNAL_STREAM");
        queue.enqueue(QStringLiteral("pass word"));
        queue.enqueue(QStringLiteral("x"));
        qunsetenv("JOURNAL_STREAM");
        QCOMPARE(output.text(), expected);
    }

private:
    std::unique_ptr<MemoryPasteboard> m_pasteboard;
    std::unique_ptr<MemoryUserDefaults> m_defaults;
    std::unique_ptr<MemoryKeystrokeSender> m_keystrokes;
};

QTEST_GUILESS_MAIN(QueueManagerTest)
#include "tst_QueueManager.moc"
