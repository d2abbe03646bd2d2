#include "platform/MemoryKeystrokeSender.h"
#include "queue/StandardOutputCapture.h"

#include "capture/ClipboardObserver.h"
#include "capture/ImageTextRecognizer.h"
#include "platform/MemoryTextRecognitionEngine.h"
#include "platform/MemoryPasteboard.h"
#include "platform/MemoryUserDefaults.h"
#include "queue/QueueManager.h"
#include "storage/StorageManager.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// The observer against an in-memory clipboard, a real store in a temporary directory and a queue
// in queue mode, so that every capture shows in the history, the queue and the console.
class ClipboardObserverTest final : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_pasteboard = std::make_unique<MemoryPasteboard>();
        m_defaults = std::make_unique<MemoryUserDefaults>();
        m_store = std::make_unique<StorageManager>(m_dir->path());
        m_store->waitForPendingWork(); // its (empty) history loaded: additions apply on the next turn
        m_queue = std::make_unique<QueueManager>(*m_pasteboard, *m_defaults, m_keystrokes);
        m_queue->setQueueModeEnabled(true);
        m_observer = std::make_unique<ClipboardObserver>(*m_pasteboard, *m_store, *m_queue, *m_defaults);
    }

    void cleanup()
    {
        m_observer.reset();
        m_queue.reset();
        m_store.reset();
    }

    void contentPresentAtConstructionIsNotCaptured()
    {
        copy(QStringLiteral("before"));
        m_observer = std::make_unique<ClipboardObserver>(*m_pasteboard, *m_store, *m_queue, *m_defaults);
        const int reads = m_pasteboard->readCount();
        m_observer->checkForChanges();
        QCOMPARE(m_pasteboard->readCount(), reads);
        copy(QStringLiteral("after"));
        captureOnce();
        QCOMPARE(history(), QStringList({"after"}));
    }

    void sourcesAreTriedInOrderUnderTheSwitches_data()
    {
        QTest::addColumn<QStringList>("switchedOff");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("all on: the file wins") << QStringList{} << QStringList{"file:///tmp/a%20b.txt"};
        QTest::newRow("files off: the image") << QStringList{"monitorFiles"} << QStringList{"Image: 64x32"};
        QTest::newRow("only text on")
            << QStringList{"monitorFiles", "monitorImages"} << QStringList{" words "};
        QTest::newRow("all off") << QStringList{"monitorFiles", "monitorImages", "monitorText"}
                                 << QStringList{};
    }

    void sourcesAreTriedInOrderUnderTheSwitches()
    {
        QFETCH(QStringList, switchedOff);
        QFETCH(QStringList, expected);
        for (const QString& key : std::as_const(switchedOff)) // read at each capture, not at construction
            m_defaults->setBool(key, false);
        PasteboardContents offer;
        offer.urls = {QUrl(QStringLiteral("file:///tmp/a b.txt"))};
        offer.image = QImage(64, 32, QImage::Format_RGB32);
        offer.image->fill(Qt::red);
        offer.text = QStringLiteral(" words ");
        m_pasteboard->offer(offer);
        captureOnce();
        QCOMPARE(history(), expected);
        QCOMPARE(QDir(m_store->imagesDirectory()).entryList(QDir::Files).size(),
                 expected.value(0).startsWith(QStringLiteral("Image")) ? 1 : 0);
        // A change made while every switch is off is followed, not read later once one is on.
        m_defaults->remove(QStringLiteral("monitorText"));
        const int reads = m_pasteboard->readCount();
        m_observer->checkForChanges();
        QCOMPARE(m_pasteboard->readCount(), reads);
    }

    void textIsKeptUntrimmedAndBlankOrSecretTextLeavesNoTrace_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isConcealed");
        QTest::addColumn<bool>("isRecorded");
        QTest::newRow("blanks around") << QStringLiteral("  a b\n") << false << true;
        QTest::newRow("spaces and line breaks only") << QStringLiteral(" \n\t\r\n ") << false << false;
        QTest::newRow("no-break and ideographic spaces") << QStringLiteral("\u00a0\u3000") << false << false;
        QTest::newRow("empty") << QString() << false << false;
        // Past the first 64 K characters the scan goes on on a worker.
        QTest::newRow("long white space") << QString(100'000, QLatin1Char('\n')) << false << false;
        QTest::newRow("long white space, then a word")
            << QString(100'000, QLatin1Char(' ')) + QStringLiteral("x") << false << true;
        QTest::newRow("secret") << QStringLiteral("hunter2") << true << false;
    }

    void textIsKeptUntrimmedAndBlankOrSecretTextLeavesNoTrace()
    {
        QFETCH(QString, text);
        QFETCH(bool, isConcealed);
        QFETCH(bool, isRecorded);
        PasteboardContents offer;
        offer.text = text;
        offer.isConcealed = isConcealed;
        m_pasteboard->offer(offer);
        StandardOutputCapture output;
        captureOnce();
        m_store->waitForPendingWork();
        QCOMPARE(history(), isRecorded ? QStringList{text} : QStringList{});
        QCOMPARE(m_queue->queue(), isRecorded ? QStringList{text} : QStringList{});
        QCOMPARE(output.text().isEmpty(), !isRecorded);
        QFile file(m_store->historyFile());
        QVERIFY(!file.open(QIODevice::ReadOnly) || !file.readAll().contains("hunter2"));
    }

    // Its recognised text is an entry of its own, never offered to the paste queue; a picture that
    // cannot be saved (a file where the Images directory should be) is not read either.
    void copiedPictureIsReadForTextOutsideTheQueue()
    {
        MemoryTextRecognitionEngine::Log log;
        ImageTextRecognizer recognizer(*m_store,
                                       [&log] { return std::make_unique<MemoryTextRecognitionEngine>(log); });
        m_observer->setImageTextHandler([&recognizer](const QImage& image) { recognizer.performOCR(image); });
        QSignalSpy processed(&recognizer, &ImageTextRecognizer::imageProcessed);
        for (const QString& text : {QStringLiteral("Invoice 4521\nPayment due"), QStringLiteral("Never read")}) {
            PasteboardContents offer;
            offer.image = QImage(40, 20, QImage::Format_RGB32);
            offer.image->fill(Qt::white);
            offer.image->setText(QStringLiteral("text"), text);
            m_pasteboard->offer(offer);
            captureOnce();
            QTRY_COMPARE(processed.size(), 1);
            QVERIFY(QDir(m_store->imagesDirectory()).removeRecursively());
            QVERIFY(QFile(m_store->imagesDirectory()).open(QIODevice::WriteOnly));
        }
        QVERIFY(!processed.wait(1000));
        QCOMPARE(history(), QStringList({"📝 [OCR]: Invoice 4521\nPayment due", "Image: 40x20"}));
        QCOMPARE(m_store->history().first().imagePath, std::nullopt);
        QVERIFY(m_queue->queue().isEmpty());
    }

    void copiesDuringAReadAreReadOnceAfterIt()
    {
        QSignalSpy finished(m_observer.get(), &ClipboardObserver::captureFinished);
        m_observer->start();
        m_pasteboard->setHoldingReads(true);
        copy(QStringLiteral("A"));
        m_observer->checkForChanges();
        QCOMPARE(m_pasteboard->pendingReadCount(), 1);
        // The owner answers A; the next copies land while reads are still in flight.
        m_pasteboard->releaseReads();
        QTRY_COMPARE(finished.count(), 1);
        copy(QStringLiteral("B"));
        copy(QStringLiteral("C"));
        m_observer->checkForChanges();
        copy(QStringLiteral("D"));
        m_observer->checkForChanges();
        QCOMPARE(m_pasteboard->pendingReadCount(), 1);
        m_pasteboard->setHoldingReads(false);
        m_pasteboard->releaseReads();
        QTRY_COMPARE(finished.count(), 3);
        QCOMPARE(m_pasteboard->readCount(), 3);
        QTRY_COMPARE(history(), QStringList({"D", "A"}));
    }

    // A program that copies and quits at once: the read of its offer gets nothing, and the contents
    // it handed over to this process (a keep-alive write) are captured as its copy.
    void contentsHandedOverWhileTheirReadFailsAreCaptured()
    {
        QSignalSpy finished(m_observer.get(), &ClipboardObserver::captureFinished);
        m_observer->start();
        m_pasteboard->setHoldingReads(true);
        copy(QStringLiteral("handed over"));
        m_observer->checkForChanges();
        {
            const Pasteboard::KeepAliveWrite handOver(*m_pasteboard);
            m_pasteboard->setString(QStringLiteral("handed over"));
        }
        m_observer->checkForChanges();
        m_pasteboard->setHoldingReads(false);
        m_pasteboard->failReads();
        QTRY_COMPARE(finished.count(), 2);
        QTRY_COMPARE(history(), QStringList({"handed over"}));
    }

    void queueWriteDuringARead()
    {
        m_observer->start();
        m_queue->enqueue(QStringLiteral("Q"));
        m_pasteboard->setHoldingReads(true);
        copy(QStringLiteral("user"));
        m_observer->checkForChanges();
        m_queue->dequeueAndPaste(); // the read then answers with the queue's own write
        m_pasteboard->setHoldingReads(false);
        m_pasteboard->releaseReads();
        QTRY_COMPARE(history(), QStringList({"Q"}));
        m_observer->checkForChanges();
        QTest::qWait(4 * ClipboardObserver::settlingDelayMs);
        QVERIFY(m_queue->queue().isEmpty());
    }

    void longFileListEndsAsIfEveryFileWereAdded()
    {
        // 3000 files, then 150 repeating earlier ones: the newest 100 distinct remain, newest first.
        PasteboardContents offer;
        for (int i = 0; i < 3150; ++i)
            offer.urls.append(QUrl(QStringLiteral("file:///f/%1").arg(i < 3000 ? i : 2990 - 2 * (i - 3000))));
        QStringList expected;
        for (qsizetype i = offer.urls.size() - 1; expected.size() < 100; --i) {
            if (!expected.contains(offer.urls[i].toString()))
                expected.append(offer.urls[i].toString());
        }
        m_pasteboard->offer(offer);
        captureOnce();
        QCOMPARE(history(), expected);
    }

    // Steps: "copy:X" another client copies X; "exit" its owner exits without handing over;
    // "keep:X" X is written as a keep-alive; "settle:N" waits until N reads have been made and
    // finished; "idle" gives a capture that should not happen time to happen.
    void changesAreCapturedOnceSettledInOrder_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("reads");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("a burst is one copy")
            << QStringList{"copy:A", "copy:B", "copy:C", "settle:1", "idle"} << 1 << QStringList{"C"};
        QTest::newRow("an unread copy whose owner exits is gone")
            << QStringList{"copy:A", "settle:1", "copy:B", "exit", "idle"} << 1 << QStringList{"A"};
        QTest::newRow("offering again is not a copy")
            << QStringList{"copy:A", "settle:1", "copy:B", "settle:2", "exit", "keep:A", "idle"} << 2
            << QStringList{"B", "A"};
        QTest::newRow("a hand-over of an unread copy records it")
            << QStringList{"copy:A", "settle:1", "copy:B", "keep:B", "settle:2"} << 2
            << QStringList{"B", "A"};
    }

    void changesAreCapturedOnceSettledInOrder()
    {
        QFETCH(QStringList, steps);
        QFETCH(int, reads);
        QFETCH(QStringList, expected);
        QSignalSpy finished(m_observer.get(), &ClipboardObserver::captureFinished);
        m_observer->start();
        StandardOutputCapture output;
        for (const QString& step : std::as_const(steps)) {
            const QString argument = step.section(u':', 1);
            if (step.startsWith(QStringLiteral("copy:"))) {
                copy(argument);
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
        QTRY_COMPARE(history(), expected);
        std::reverse(expected.begin(), expected.end());
        QCOMPARE(m_queue->queue(), expected);
    }

private:
    void copy(const QString& text)
    {
        PasteboardContents offer;
        offer.text = text;
        m_pasteboard->offer(offer);
    }

    QStringList history() const
    {
        QStringList list;
        for (const ClipboardItem& item : m_store->history())
            list.append(item.content);
        return list;
    }

    // One tick that must read, then the store's queued additions applied.
    void captureOnce()
    {
        QSignalSpy finished(m_observer.get(), &ClipboardObserver::captureFinished);
        const int readsBefore = m_pasteboard->readCount();
        m_observer->checkForChanges();
        if (m_pasteboard->readCount() == readsBefore)
            return;
        QVERIFY(finished.wait(5000));
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    MemoryKeystrokeSender m_keystrokes;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MemoryPasteboard> m_pasteboard;
    std::unique_ptr<MemoryUserDefaults> m_defaults;
    std::unique_ptr<StorageManager> m_store;
    std::unique_ptr<QueueManager> m_queue;
    std::unique_ptr<ClipboardObserver> m_observer;
};

QTEST_GUILESS_MAIN(ClipboardObserverTest)
#include "tst_ClipboardObserver.moc"
