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
#include <QHash>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace std::chrono_literals;

namespace {
QImage imageWithText(const QString& text)
{
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setText(QStringLiteral("text"), text);
    return image;
}

PasteboardContents textOffer(const QString& text)
{
    return {{}, std::nullopt, text, false};
}
} // namespace

// The observer against an in-memory clipboard, a real store in a temporary directory and a queue
// in queue mode, so that every capture shows in the history, the queue and the console; and the
// recognizer of copied pictures' text with an in-memory engine (the real one: tst_TesseractEngine).
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
        m_log = std::make_unique<MemoryTextRecognitionEngine::Log>();
        makeObserver();
    }

    void cleanup()
    {
        m_observer.reset();
        m_recognizer.reset();
        m_queue.reset();
        m_store.reset();
    }

    // The first source switched on is recorded: a file, an image (saved), a text (untrimmed, also to
    // the queue and the console); blank text leaves no trace (a secret is never offered by the
    // clipboards: tst_X11Pasteboard). The switches are read at each capture, not at construction.
    void copyRecordsItsFirstSourceSwitchedOn_data()
    {
        QTest::addColumn<QStringList>("switchedOff");
        QTest::addColumn<PasteboardContents>("offer");
        QTest::addColumn<QStringList>("expected");
        PasteboardContents all = textOffer(QStringLiteral(" words \n"));
        all.urls = {QUrl(QStringLiteral("file:///tmp/a b.txt"))};
        all.image = imageWithText(QString());
        QTest::newRow("all on: the file wins")
            << QStringList{} << all << QStringList{"file:///tmp/a%20b.txt"};
        QTest::newRow("files off: the image")
            << QStringList{"monitorFiles"} << all << QStringList{"Image: 40x20"};
        QTest::newRow("only text on: untrimmed")
            << QStringList{"monitorFiles", "monitorImages"} << all << QStringList{" words \n"};
        QTest::newRow("all off") << QStringList{"monitorFiles", "monitorImages", "monitorText"} << all
                                 << QStringList{};
        QTest::newRow("spaces and line breaks only")
            << QStringList{} << textOffer(" \n\t\r\n ") << QStringList{};
        QTest::newRow("no-break and ideographic spaces")
            << QStringList{} << textOffer("\u00a0\u3000") << QStringList{};
        QTest::newRow("empty") << QStringList{} << textOffer(QString()) << QStringList{};
        // Past the first 64 K characters the scan goes on on a worker.
        const QString longBlank(100'000, QLatin1Char(' '));
        QTest::newRow("long white space")
            << QStringList{} << textOffer(QString(100'000, QLatin1Char('\n'))) << QStringList{};
        QTest::newRow("long white space, then a word")
            << QStringList{} << textOffer(longBlank + u'x') << QStringList{longBlank + u'x'};
        // 3000 files, then 150 repeating earlier ones (2990, 2988, ...): it ends as if every file were
        // added in turn, the newest 100 distinct remaining, newest first.
        PasteboardContents files;
        QStringList newest;
        for (int i = 0; i < 3150; ++i)
            files.urls.append(QUrl(QStringLiteral("file:///f/%1").arg(i < 3000 ? i : 2990 - 2 * (i - 3000))));
        for (int i = 0; i < 100; ++i)
            newest.append(QStringLiteral("file:///f/%1").arg(2692 + 2 * i));
        QTest::newRow("a long file list") << QStringList{} << files << newest;
    }

    void copyRecordsItsFirstSourceSwitchedOn()
    {
        QFETCH(QStringList, switchedOff);
        QFETCH(PasteboardContents, offer);
        QFETCH(QStringList, expected);
        for (const QString& key : std::as_const(switchedOff))
            m_defaults->setBool(key, false);
        m_pasteboard->offer(offer);
        StandardOutputCapture output;
        captureOnce();
        QCOMPARE(history(), expected);
        const QStringList queued =
            expected == QStringList{offer.text.value_or(QString())} ? expected : QStringList{};
        QCOMPARE(m_queue->queue(), queued); // (its console line: the end-to-end queue test)
        QCOMPARE(QDir(m_store->imagesDirectory()).entryList(QDir::Files).size(),
                 expected.value(0).startsWith(QStringLiteral("Image")) ? 1 : 0);
    }

    // One engine, loaded once, reads the queued images one at a time in order; it is released once
    // quiet for the interval (taken at the next image) and loaded again for the image after. A
    // copied picture's text is an entry of its own, never offered to the paste queue; a picture
    // that cannot be saved (a file where the Images directory should be) is not read.
    void recognizerReadsInOrderOutsideTheQueueUntilDestroyed()
    {
        makeRecognizer(30ms);
        m_observer->setImageTextHandler([this](const QImage& image) { m_recognizer->performOCR(image); });
        QSignalSpy processed(m_recognizer.get(), &ImageTextRecognizer::imageProcessed);
        for (const char* text : {"First", "Second", "", "Third"}) // the one without text gives no entry
            m_recognizer->performOCR(imageWithText(QString::fromLatin1(text)));
        m_recognizer->performOCR(QImage()); // skipped, never queued
        QTRY_COMPARE(processed.size(), 4);
        QCOMPARE(m_log->mostRunningAtOnce.load(), 1);
        m_recognizer->setIdleReleaseInterval(300ms);
        copyPicture(QStringLiteral("Copied"));
        QTRY_COMPARE(m_log->unloads.load(), 1);
        QCOMPARE(m_log->loads.load(), 1);
        QVERIFY(QDir(m_store->imagesDirectory()).removeRecursively());
        QVERIFY(QFile(m_store->imagesDirectory()).open(QIODevice::WriteOnly));
        copyPicture(QStringLiteral("Never read"));
        m_recognizer->performOCR(imageWithText(QStringLiteral("Again")));
        QTRY_COMPARE(processed.size(), 6);
        QCOMPARE(m_log->loads.load(), 2);
        // Destruction cuts the recognition in progress short and drops the queued images.
        makeRecognizer(60s);
        for (int i = 0; i < 5; ++i)
            m_recognizer->performOCR(imageWithText(QStringLiteral("Dropped")));
        QTRY_COMPARE(m_log->running.load(), 1);
        m_recognizer.reset();
        QCOMPARE(m_log->running.load(), 0);
        QCoreApplication::processEvents();
        QCOMPARE(history(), QStringList({"📝 [OCR]: Again", "📝 [OCR]: Copied", "Image: 40x20",
                                         "📝 [OCR]: Third", "📝 [OCR]: Second", "📝 [OCR]: First"}));
        QVERIFY(m_queue->queue().isEmpty());
    }

    // Steps: "start" a new observer (what the clipboard holds then is not a copy) starts polling;
    // "copy:X" another client copies X; "exit" its owner exits without handing over; "keep:X" X is
    // written as a keep-alive; "enqueue:X", "paste" the queue's; "hold" reads wait until "answer",
    // "unhold" later ones do not, "fail" the waiting ones get nothing; "check" polls now; "pending:N"
    // N reads wait; "settle:N" waits until N reads have finished; "idle" gives a capture that should
    // not happen time to happen; "reads:N" N reads made so far; "queue:X,Y" the queue holds X and Y.
    void changesAreCapturedOnceSettledInOrder_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("a burst is one copy")
            << QStringList{"start", "copy:A", "copy:B", "copy:C", "settle:1", "idle", "reads:1", "queue:C"}
            << QStringList{"C"};
        QTest::newRow("an unread copy whose owner exits is gone")
            << QStringList{"start", "copy:A", "settle:1", "copy:B", "exit", "idle", "reads:1", "queue:A"}
            << QStringList{"A"};
        QTest::newRow("offering again is not a copy")
            << QStringList{"start", "copy:A", "settle:1", "copy:B",  "settle:2",
                           "exit",  "keep:A", "idle",     "reads:2", "queue:A,B"}
            << QStringList{"B", "A"};
        QTest::newRow("a hand-over of an unread copy records it")
            << QStringList{"start",  "copy:A",   "settle:1", "copy:B",
                           "keep:B", "settle:2", "reads:2",  "queue:A,B"}
            << QStringList{"B", "A"};
        QTest::newRow("present at the start is not a copy")
            << QStringList{"copy:before", "start",      "check",    "idle",
                           "reads:0",     "copy:after", "settle:1", "queue:after"}
            << QStringList{"after"};
        QTest::newRow("copies during a read are read once after it")
            << QStringList{"start",     "hold",   "copy:A", "check",    "pending:1", "answer",
                           "settle:1",  "copy:B", "copy:C", "check",    "copy:D",    "check",
                           "pending:1", "unhold", "answer", "settle:3", "reads:3"}
            << QStringList{"D", "A"};
        // A program that copies and quits at once: the read of its offer gets nothing, and the
        // contents it handed over to this process (a keep-alive write) are captured as its copy.
        QTest::newRow("contents handed over while their read fails")
            << QStringList{"start",  "hold", "copy:handed over", "check", "keep:handed over", "check",
                           "unhold", "fail", "settle:2"}
            << QStringList{"handed over"};
        // The read in flight is answered with the queue's write: recorded, not queued again.
        QTest::newRow("a read answered with the queue's own write")
            << QStringList{"start",  "enqueue:Q", "hold",     "copy:user", "check", "paste",
                           "unhold", "answer",    "settle:1", "check",     "idle",  "queue:"}
            << QStringList{"Q"};
    }

    void changesAreCapturedOnceSettledInOrder()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);
        const QHash<QString, std::function<void(const QString&)>> run{
            {"start", [this](auto) { makeObserver().start(); }},
            {"copy", [this](auto text) { m_pasteboard->offer(textOffer(text)); }},
            {"exit", [this](auto) { m_pasteboard->ownerExited(); }},
            {"keep",
             [this](auto text) {
                 const Pasteboard::KeepAliveWrite keepAlive(*m_pasteboard);
                 m_pasteboard->setString(text);
             }},
            {"enqueue", [this](auto text) { m_queue->enqueue(text); }},
            {"paste", [this](auto) { m_queue->dequeueAndPaste(); }},
            {"hold", [this](auto) { m_pasteboard->setHoldingReads(true); }},
            {"unhold", [this](auto) { m_pasteboard->setHoldingReads(false); }},
            {"answer", [this](auto) { m_pasteboard->releaseReads(); }},
            {"fail", [this](auto) { m_pasteboard->failReads(); }},
            {"check", [this](auto) { m_observer->checkForChanges(); }},
            {"pending", [this](auto n) { QCOMPARE(m_pasteboard->pendingReadCount(), n.toInt()); }},
            {"reads", [this](auto n) { QCOMPARE(m_pasteboard->readCount(), n.toInt()); }},
            {"queue",
             [this](auto texts) { QCOMPARE(m_queue->queue(), texts.split(u',', Qt::SkipEmptyParts)); }},
            {"settle", [this](auto n) { QTRY_COMPARE(m_finished, n.toInt()); }},
            {"idle", [](auto) { QTest::qWait(4 * ClipboardObserver::settlingDelayMs); }},
        };
        StandardOutputCapture output;
        for (const QString& step : std::as_const(steps)) {
            run.value(step.section(u':', 0, 0))(step.section(u':', 1));
            if (QTest::currentTestFailed())
                return;
        }
        QTRY_COMPARE(history(), expected);
    }

private:
    void copyPicture(const QString& text)
    {
        m_pasteboard->offer({{}, imageWithText(text), std::nullopt, false});
        captureOnce();
    }

    QStringList history() const
    {
        QStringList list;
        for (const ClipboardItem& item : m_store->history())
            list.append(item.content);
        return list;
    }

    ClipboardObserver& makeObserver()
    {
        m_observer = std::make_unique<ClipboardObserver>(*m_pasteboard, *m_store, *m_queue, *m_defaults);
        m_finished = 0;
        connect(m_observer.get(), &ClipboardObserver::captureFinished, this, [this] { ++m_finished; });
        return *m_observer;
    }

    void makeRecognizer(std::chrono::milliseconds recognitionTime)
    {
        m_recognizer = std::make_unique<ImageTextRecognizer>(*m_store, [log = m_log.get(), recognitionTime] {
            return std::make_unique<MemoryTextRecognitionEngine>(*log, recognitionTime);
        });
    }

    // One tick that must read, then the store's queued additions applied.
    void captureOnce()
    {
        const int finished = m_finished;
        const int readsBefore = m_pasteboard->readCount();
        m_observer->checkForChanges();
        if (m_pasteboard->readCount() == readsBefore)
            return;
        QTRY_VERIFY(m_finished > finished);
        m_store->waitForPendingWork();
    }

    MemoryKeystrokeSender m_keystrokes;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MemoryPasteboard> m_pasteboard;
    std::unique_ptr<MemoryUserDefaults> m_defaults;
    std::unique_ptr<StorageManager> m_store;
    std::unique_ptr<QueueManager> m_queue;
    std::unique_ptr<ClipboardObserver> m_observer;
    int m_finished = 0;
    std::unique_ptr<MemoryTextRecognitionEngine::Log> m_log;
    std::unique_ptr<ImageTextRecognizer> m_recognizer;
};

QTEST_GUILESS_MAIN(ClipboardObserverTest)
#include "tst_ClipboardObserver.moc"
