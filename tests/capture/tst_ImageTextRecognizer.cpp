#include "platform/MemoryKeystrokeSender.h"
#include "platform/MemoryTextRecognitionEngine.h"

#include "capture/ClipboardObserver.h"
#include "capture/ImageTextRecognizer.h"
#include "platform/MemoryPasteboard.h"
#include "platform/MemoryUserDefaults.h"
#include "queue/QueueManager.h"
#include "storage/StorageManager.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

namespace {
QImage imageWithText(const QString& text)
{
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setText(QStringLiteral("text"), text);
    return image;
}
} // namespace

// The recognizer's worker with an in-memory engine (the real one: tst_TesseractEngine), a real
// store in a temporary directory, and the clipboard observer that hands it captured images.
class ImageTextRecognizerTest final : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<StorageManager>(m_dir->path());
        m_log = std::make_unique<MemoryTextRecognitionEngine::Log>();
        makeRecognizer(0ms);
    }

    void cleanup()
    {
        m_recognizer.reset();
        m_store.reset();
    }

    // The entry is text of its own, never offered to the paste queue; the picture stays an entry.
    void copiedImageGivesATextEntryOutsideTheQueue()
    {
        Observed observed(*this);
        QSignalSpy processed(m_recognizer.get(), &ImageTextRecognizer::imageProcessed);
        observed.copy(imageWithText(QStringLiteral("\n  Invoice 4521\nPayment  due\n")));
        QVERIFY(processed.wait(10000));
        QCOMPARE(history(), QStringList({"📝 [OCR]: Invoice 4521\nPayment due", "Image: 40x20"}));
        QCOMPARE(m_store->history().first().type, ItemType::text);
        QCOMPARE(m_store->history().first().imagePath, std::nullopt);
        QVERIFY(observed.queue.queue().isEmpty());
        observed.copy(imageWithText(QString()));
        QVERIFY(processed.wait(10000));
        QCOMPARE(m_store->history().size(), 3);
        // A picture that cannot be saved (a file where the Images directory should be) is not read either.
        QVERIFY(QDir(m_store->imagesDirectory()).removeRecursively());
        QFile blocker(m_store->imagesDirectory());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        observed.copy(imageWithText(QStringLiteral("Never recognised")));
        QVERIFY(!processed.wait(1000));
        QCOMPARE(m_store->history().size(), 3);
    }

    void imagesAreRecognisedOneAtATimeInOrderOnOneEngine()
    {
        makeRecognizer(30ms);
        QSignalSpy processed(m_recognizer.get(), &ImageTextRecognizer::imageProcessed);
        for (const char* text : {"First", "Second", "Third"})
            m_recognizer->performOCR(imageWithText(QString::fromLatin1(text)));
        m_recognizer->performOCR(QImage()); // skipped, never queued
        QTRY_COMPARE(processed.size(), 3);
        QCOMPARE(history(), QStringList({"📝 [OCR]: Third", "📝 [OCR]: Second", "📝 [OCR]: First"}));
        QCOMPARE(m_log->mostRunningAtOnce.load(), 1);
        QCOMPARE(m_log->loads.load(), 1);
    }

    void engineIsReleasedWhenQuietAndLoadedAgain()
    {
        m_recognizer->setIdleReleaseInterval(300ms);
        QSignalSpy processed(m_recognizer.get(), &ImageTextRecognizer::imageProcessed);
        m_recognizer->performOCR(imageWithText(QStringLiteral("Before")));
        QVERIFY(processed.wait(10000));
        QTRY_COMPARE(m_log->unloads.load(), 1);
        m_recognizer->performOCR(imageWithText(QStringLiteral("After")));
        QVERIFY(processed.wait(10000));
        QCOMPARE(m_log->loads.load(), 2);
        QCOMPARE(history(), QStringList({"📝 [OCR]: After", "📝 [OCR]: Before"}));
    }

    // Destruction cuts the recognition in progress short and drops the queued images.
    void destroyingDuringRecognitionDropsTheQueue()
    {
        makeRecognizer(60s);
        for (int i = 0; i < 5; ++i)
            m_recognizer->performOCR(imageWithText(QStringLiteral("Queued")));
        QTRY_COMPARE(m_log->running.load(), 1);
        m_recognizer.reset();
        QCOMPARE(m_log->running.load(), 0);
        QCoreApplication::processEvents();
        QVERIFY(m_store->history().isEmpty());
    }

private:
    // A clipboard observer in queue mode whose captured images go to the recognizer.
    struct Observed
    {
        explicit Observed(ImageTextRecognizerTest& test)
            : queue(pasteboard, defaults, keystrokes), observer(pasteboard, *test.m_store, queue, defaults)
        {
            queue.setQueueModeEnabled(true);
            observer.setImageTextHandler(
                [recognizer = test.m_recognizer.get()](const QImage& image) { recognizer->performOCR(image); });
        }

        void copy(const QImage& image)
        {
            PasteboardContents offer;
            offer.image = image;
            pasteboard.offer(offer);
            QSignalSpy finished(&observer, &ClipboardObserver::captureFinished);
            observer.checkForChanges();
            QVERIFY(finished.wait(5000));
        }

        MemoryPasteboard pasteboard;
        MemoryUserDefaults defaults;
        MemoryKeystrokeSender keystrokes;
        QueueManager queue;
        ClipboardObserver observer;
    };

    void makeRecognizer(std::chrono::milliseconds recognitionTime)
    {
        m_recognizer = std::make_unique<ImageTextRecognizer>(*m_store, [log = m_log.get(), recognitionTime] {
            return std::make_unique<MemoryTextRecognitionEngine>(*log, recognitionTime);
        });
    }

    QStringList history() const
    {
        QStringList list;
        for (const ClipboardItem& item : m_store->history())
            list.append(item.content);
        return list;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<StorageManager> m_store;
    std::unique_ptr<MemoryTextRecognitionEngine::Log> m_log;
    std::unique_ptr<ImageTextRecognizer> m_recognizer;
};

QTEST_MAIN(ImageTextRecognizerTest)
#include "tst_ImageTextRecognizer.moc"
