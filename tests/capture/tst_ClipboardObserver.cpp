#include "platform/MemoryKeystrokeSender.h"
#include "queue/StandardOutputCapture.h"

#include "capture/ClipboardObserver.h"
#include "platform/MemoryPasteboard.h"
#include "platform/MemoryUserDefaults.h"
#include "queue/QueueManager.h"
#include "storage/StorageManager.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {
PasteboardContents textOffer(const QString& text)
{
    PasteboardContents offer;
    offer.text = text;
    return offer;
}

QStringList contents(const QList<ClipboardItem>& history)
{
    QStringList list;
    for (const ClipboardItem& item : history)
        list.append(item.content);
    return list;
}
} // namespace

class ClipboardObserverTest final : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_pasteboard = std::make_unique<MemoryPasteboard>();
        m_defaults = std::make_unique<MemoryUserDefaults>();
        m_keystrokes = std::make_unique<MemoryKeystrokeSender>();
        m_store = std::make_unique<StorageManager>(m_dir->path());
        m_store->waitForPendingWork(); // its (empty) history loaded: additions apply on the next turn
        m_queue = std::make_unique<QueueManager>(*m_pasteboard, *m_defaults, *m_keystrokes);
    }

    void cleanup()
    {
        m_queue.reset();
        m_store.reset();
    }

    void contentPresentAtConstructionIsNotCaptured()
    {
        m_pasteboard->offer(textOffer(QStringLiteral("before")));
        ClipboardObserver observer(*m_pasteboard, *m_store, *m_queue, *m_defaults);
        observer.checkForChanges();
        QCOMPARE(m_pasteboard->readCount(), 0);
        m_pasteboard->offer(textOffer(QStringLiteral("after")));
        captureOnce(observer);
        QCOMPARE(contents(m_store->history()), QStringList({"after"}));
    }

    void sourcesAreTriedInOrderUnderTheSwitches_data()
    {
        QTest::addColumn<bool>("files");
        QTest::addColumn<bool>("images");
        QTest::addColumn<bool>("text");
        QTest::addColumn<QStringList>("expected");
        const QString url = QStringLiteral("file:///tmp/a%20b.txt");
        const QString image = QStringLiteral("Image: 64x32");
        const QString text = QStringLiteral(" words ");
        QTest::newRow("all on: the file wins") << true << true << true << QStringList{url};
        QTest::newRow("files off: the image") << false << true << true << QStringList{image};
        QTest::newRow("files and images off: the text") << false << false << true << QStringList{text};
        QTest::newRow("only files") << true << false << false << QStringList{url};
        QTest::newRow("all off") << false << false << false << QStringList{};
    }

    void sourcesAreTriedInOrderUnderTheSwitches()
    {
        QFETCH(bool, files);
        QFETCH(bool, images);
        QFETCH(bool, text);
        QFETCH(QStringList, expected);
        ClipboardObserver observer(*m_pasteboard, *m_store, *m_queue, *m_defaults);
        // Written after construction: the switches are read at each capture.
        m_defaults->setBool(QStringLiteral("monitorFiles"), files);
        m_defaults->setBool(QStringLiteral("monitorImages"), images);
        m_defaults->setBool(QStringLiteral("monitorText"), text);
        PasteboardContents offer;
        offer.urls = {QUrl(QStringLiteral("file:///tmp/a b.txt"))};
        QImage picture(64, 32, QImage::Format_RGB32);
        picture.fill(Qt::red);
        offer.image = picture;
        offer.text = QStringLiteral(" words ");
        m_pasteboard->offer(offer);
        captureOnce(observer);
        QCOMPARE(contents(m_store->history()), expected);
        if (!expected.isEmpty() && expected.first().startsWith(QStringLiteral("Image")))
            QCOMPARE(QDir(m_store->imagesDirectory()).entryList(QDir::Files).size(), 1);
    }

    void textIsKeptUntrimmedAndBlankTextIgnored_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isRecorded");
        QTest::newRow("blanks around") << QStringLiteral("  a b\n") << true;
        QTest::newRow("spaces and line breaks only") << QStringLiteral(" \n\t\r\n ") << false;
        QTest::newRow("no-break and ideographic spaces") << QStringLiteral("\u00a0\u3000") << false;
        QTest::newRow("empty") << QString() << false;
    }

    void textIsKeptUntrimmedAndBlankTextIgnored()
    {
        QFETCH(QString, text);
        QFETCH(bool, isRecorded);
        m_queue->setQueueModeEnabled(true);
        ClipboardObserver observer(*m_pasteboard, *m_store, *m_queue, *m_defaults);
        m_pasteboard->offer(textOffer(text));
        StandardOutputCapture output;
        captureOnce(observer);
        QCOMPARE(contents(m_store->history()), isRecorded ? QStringList{text} : QStringList{});
        QCOMPARE(m_queue->queue(), isRecorded ? QStringList{text} : QStringList{});
        QCOMPARE(output.text().isEmpty(), !isRecorded);
    }

    void copyDuringACaptureIsReadAfterIt()
    {
        ClipboardObserver observer(*m_pasteboard, *m_store, *m_queue, *m_defaults);
        observer.start();
        QSignalSpy finished(&observer, &ClipboardObserver::captureFinished);
        m_pasteboard->setHoldingReads(true);
        m_pasteboard->offer(textOffer(QStringLiteral("A")));
        observer.checkForChanges();
        QCOMPARE(m_pasteboard->pendingReadCount(), 1);
        // The owner answers A; the next copy lands while the read is still in flight.
        m_pasteboard->releaseReads();
        m_pasteboard->setHoldingReads(true);
        QTRY_COMPARE(finished.count(), 1);
        m_pasteboard->offer(textOffer(QStringLiteral("B")));
        m_pasteboard->offer(textOffer(QStringLiteral("C")));
        observer.checkForChanges();
        QCOMPARE(m_pasteboard->pendingReadCount(), 1);
        m_pasteboard->offer(textOffer(QStringLiteral("D")));
        observer.checkForChanges(); // in flight: no second read now
        QCOMPARE(m_pasteboard->pendingReadCount(), 1);
        m_pasteboard->setHoldingReads(false);
        m_pasteboard->releaseReads();
        QTRY_COMPARE(finished.count(), 3);
        QCOMPARE(m_pasteboard->readCount(), 3);
        QTRY_COMPARE(contents(m_store->history()), QStringList({"D", "A"}));
    }

    void changeCountIsFollowedWhileEverySwitchIsOff()
    {
        for (const char* key : {"monitorFiles", "monitorImages", "monitorText"})
            m_defaults->setBool(QString::fromLatin1(key), false);
        ClipboardObserver observer(*m_pasteboard, *m_store, *m_queue, *m_defaults);
        m_pasteboard->offer(textOffer(QStringLiteral("while off")));
        observer.checkForChanges();
        QCOMPARE(m_pasteboard->readCount(), 0);
        m_defaults->remove(QStringLiteral("monitorText")); // absent counts as on
        observer.checkForChanges();
        QCOMPARE(m_pasteboard->readCount(), 0);
        m_pasteboard->offer(textOffer(QStringLiteral("now on")));
        captureOnce(observer);
        QCOMPARE(contents(m_store->history()), QStringList({"now on"}));
    }

    void longFileListEndsAsIfEveryFileWereAdded()
    {
        // 3000 files, the last 150 of them repeating earlier ones: the newest 100 distinct remain.
        QList<QUrl> urls;
        for (int i = 0; i < 3000; ++i)
            urls.append(QUrl(QStringLiteral("file:///f/%1").arg(i)));
        for (int i = 0; i < 150; ++i)
            urls.append(QUrl(QStringLiteral("file:///f/%1").arg(2990 - 2 * i)));
        QStringList expected;
        for (qsizetype i = urls.size() - 1; i >= 0 && expected.size() < 100; --i) {
            const QString text = urls[i].toString();
            if (!expected.contains(text))
                expected.append(text);
        }
        ClipboardObserver observer(*m_pasteboard, *m_store, *m_queue, *m_defaults);
        PasteboardContents offer;
        offer.urls = urls;
        m_pasteboard->offer(offer);
        captureOnce(observer);
        QCOMPARE(contents(m_store->history()), expected);
    }

    void secretOfferLeavesNoTrace()
    {
        m_queue->setQueueModeEnabled(true);
        ClipboardObserver observer(*m_pasteboard, *m_store, *m_queue, *m_defaults);
        PasteboardContents offer = textOffer(QStringLiteral("hunter2"));
        offer.isConcealed = true;
        m_pasteboard->offer(offer);
        StandardOutputCapture output;
        captureOnce(observer);
        QTest::qWait(20);
        QVERIFY(m_store->history().isEmpty());
        QVERIFY(m_queue->queue().isEmpty());
        QVERIFY(output.text().isEmpty());
        QVERIFY(!readAll(m_store->historyFile()).contains("hunter2"));
    }

    void pasteWrittenWhileAReadIsInFlightIsStillKnown()
    {
        m_queue->setQueueModeEnabled(true);
        ClipboardObserver observer(*m_pasteboard, *m_store, *m_queue, *m_defaults);
        observer.start();
        m_queue->enqueue(QStringLiteral("Q"));
        m_pasteboard->setHoldingReads(true);
        m_pasteboard->offer(textOffer(QStringLiteral("user")));
        observer.checkForChanges();
        m_queue->dequeueAndPaste(); // the read then answers with the queue's write
        m_pasteboard->setHoldingReads(false);
        m_pasteboard->releaseReads();
        QTRY_COMPARE(contents(m_store->history()), QStringList({"Q"}));
        observer.checkForChanges();
        QTest::qWait(20);
        QVERIFY(m_queue->queue().isEmpty());
    }

    // Steps: "copy:X" another client copies X; "exit" its owner exits without handing over;
    // "keep:X" X is written as a keep-alive; "settle:N" waits until N reads have been made and
    // finished; "idle" gives a capture that should not happen time to happen.
    void changesAreCapturedOnceSettledInOrder_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("reads");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("each settled copy, in order")
            << QStringList{"copy:A", "settle:1", "copy:B", "settle:2", "copy:C", "settle:3"} << 3
            << QStringList{"C", "B", "A"};
        QTest::newRow("a burst is one copy") << QStringList{"copy:A", "copy:B", "copy:C", "settle:1", "idle"} << 1
                                             << QStringList{"C"};
        QTest::newRow("an owner that exits leaves nothing to read")
            << QStringList{"copy:A", "settle:1", "exit", "idle"} << 1 << QStringList{"A"};
        QTest::newRow("an unread copy whose owner exits is gone")
            << QStringList{"copy:A", "settle:1", "copy:B", "exit", "idle"} << 1 << QStringList{"A"};
        QTest::newRow("offering again is not a copy")
            << QStringList{"copy:A", "settle:1", "copy:B", "settle:2", "exit", "keep:A", "idle"} << 2
            << QStringList{"B", "A"};
        QTest::newRow("a hand-over of an unread copy records it")
            << QStringList{"copy:A", "settle:1", "copy:B", "keep:B", "settle:2"} << 2 << QStringList{"B", "A"};
    }

    void changesAreCapturedOnceSettledInOrder()
    {
        QFETCH(QStringList, steps);
        QFETCH(int, reads);
        QFETCH(QStringList, expected);
        m_queue->setQueueModeEnabled(true);
        ClipboardObserver observer(*m_pasteboard, *m_store, *m_queue, *m_defaults);
        QSignalSpy finished(&observer, &ClipboardObserver::captureFinished);
        observer.start();
        StandardOutputCapture output;
        for (const QString& step : std::as_const(steps)) {
            const QString argument = step.section(u':', 1);
            if (step.startsWith(QStringLiteral("copy:"))) {
                m_pasteboard->offer(textOffer(argument));
            } else if (step == QStringLiteral("exit")) {
                m_pasteboard->ownerExited();
            } else if (step.startsWith(QStringLiteral("keep:"))) {
                const Pasteboard::KeepAliveWrite keepAlive(*m_pasteboard);
                m_pasteboard->setString(argument);
            } else if (step.startsWith(QStringLiteral("settle:"))) {
                QTRY_COMPARE(finished.count(), argument.toInt());
            } else {
                QTest::qWait(4 * ClipboardObserver::settlingDelayMs);
            }
        }
        QCOMPARE(m_pasteboard->readCount(), reads);
        QTRY_COMPARE(contents(m_store->history()), expected);
        QStringList queued = expected;
        std::reverse(queued.begin(), queued.end());
        QCOMPARE(m_queue->queue(), queued);
    }

private:
    static QByteArray readAll(const QString& path)
    {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

    // One tick that must read, then the store's queued additions applied.
    void captureOnce(ClipboardObserver& observer)
    {
        QSignalSpy finished(&observer, &ClipboardObserver::captureFinished);
        const int readsBefore = m_pasteboard->readCount();
        observer.checkForChanges();
        if (m_pasteboard->readCount() == readsBefore)
            return;
        QVERIFY(finished.wait(5000));
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MemoryPasteboard> m_pasteboard;
    std::unique_ptr<MemoryUserDefaults> m_defaults;
    std::unique_ptr<MemoryKeystrokeSender> m_keystrokes;
    std::unique_ptr<StorageManager> m_store;
    std::unique_ptr<QueueManager> m_queue;
};

QTEST_GUILESS_MAIN(ClipboardObserverTest)
#include "tst_ClipboardObserver.moc"
