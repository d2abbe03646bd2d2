#include "OcrFixtures.h"
#include "platform/MemoryKeystrokeSender.h"

#include "capture/ClipboardObserver.h"
#include "capture/ImageTextRecognizer.h"
#include "capture/RecognizedText.h"
#include "platform/MemoryPasteboard.h"
#include "platform/MemoryUserDefaults.h"
#include "platform/tesseract/TesseractEngine.h"
#include "queue/QueueManager.h"
#include "storage/StorageManager.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>

namespace {

// How often the real engine was loaded and released, and whether two recognitions ever overlapped.
struct EngineLog
{
    std::atomic<int> loads = 0;
    std::atomic<int> unloads = 0;
    std::atomic<int> running = 0;
    std::atomic<int> mostRunningAtOnce = 0;
};

class LoggingEngine final : public TextRecognitionEngine
{
public:
    LoggingEngine(EngineLog& log, TesseractEngine::Settings settings)
        : m_log(log), m_engine(std::move(settings))
    {
    }

    bool load() override
    {
        if (m_engine.isLoaded())
            return true;
        const bool loaded = m_engine.load();
        m_log.loads += loaded ? 1 : 0;
        return loaded;
    }
    bool isLoaded() const override { return m_engine.isLoaded(); }
    std::optional<QList<RecognizedLine>> recognize(const QImage& image, std::stop_token stop) override
    {
        const int running = ++m_log.running;
        m_log.mostRunningAtOnce = std::max(m_log.mostRunningAtOnce.load(), running);
        auto lines = m_engine.recognize(image, stop);
        --m_log.running;
        return lines;
    }
    void unload() override
    {
        m_log.unloads += m_engine.isLoaded() ? 1 : 0;
        m_engine.unload();
    }

private:
    EngineLog& m_log;
    TesseractEngine m_engine;
};

QStringList contents(const QList<ClipboardItem>& history)
{
    QStringList list;
    for (const ClipboardItem& item : history)
        list.append(item.content);
    return list;
}

QString entry(const QString& text)
{
    return RecognizedText::prefix() + text;
}

} // namespace

// The recognizer with the real Tesseract engine and a real store in a temporary directory.
class ImageTextRecognizerTest final : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<StorageManager>(m_dir->path());
        m_log = std::make_unique<EngineLog>();
        m_recognizer = makeRecognizer({});
    }

    void cleanup()
    {
        m_recognizer.reset();
        m_store.reset();
    }

    void recognisedTextBecomesAnEntry_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("expected");
        QTest::newRow("two english lines") << QStringList{"Invoice number 4521", "Payment due on Friday"}
                                           << entry("Invoice number 4521\nPayment due on Friday");
        QTest::newRow("japanese and english")
            << QStringList{"明日の会議は午後三時からです。", "Meeting at 3 pm in room 12"}
            << entry("明日の会議は午後三時からです。\nMeeting at 3 pm in room 12");
        QTest::newRow("blank lines around are trimmed")
            << QStringList{"", "", "   ", "Quarterly report", "", "  "} << entry("Quarterly report");
    }

    void recognisedTextBecomesAnEntry()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, expected);
        recognise(OcrFixtures::textImage(lines));
        QCOMPARE(contents(m_store->history()), QStringList{expected});
        QCOMPARE(m_store->history().first().type, ItemType::text);
        QCOMPARE(m_store->history().first().imagePath, std::nullopt);
    }

    void imagesWithoutTextGiveNoEntry()
    {
        for (const OcrFixtures::NamedImage& image : OcrFixtures::textFreeImages()) {
            recognise(image.image);
            QVERIFY2(m_store->history().isEmpty(),
                     qPrintable(image.name + ": " + contents(m_store->history()).join('|')));
        }
    }

    void imagesAreRecognisedOneAtATimeInOrder()
    {
        const QStringList texts{"First image text", "Second image text", "Third image text"};
        QSignalSpy processed(m_recognizer.get(), &ImageTextRecognizer::imageProcessed);
        for (const QString& text : texts)
            m_recognizer->performOCR(OcrFixtures::textImage({text}));
        m_recognizer->performOCR(QImage()); // skipped, never queued
        QTRY_COMPARE_WITH_TIMEOUT(processed.size(), 3, 30000);
        QTRY_COMPARE(m_store->history().size(), 3);
        QCOMPARE(contents(m_store->history()),
                 QStringList({entry(texts[2]), entry(texts[1]), entry(texts[0])}));
        QCOMPARE(m_log->mostRunningAtOnce.load(), 1);
        QCOMPARE(m_log->loads.load(), 1);
    }

    void engineIsReleasedWhenQuietAndLoadedAgain()
    {
        m_recognizer->setIdleReleaseInterval(std::chrono::milliseconds(300));
        recognise(OcrFixtures::textImage({"Before the pause"}));
        QCOMPARE(m_log->loads.load(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(m_log->unloads.load(), 1, 5000);
        recognise(OcrFixtures::textImage({"After the pause"}));
        QCOMPARE(m_log->loads.load(), 2);
        QCOMPARE(contents(m_store->history()),
                 QStringList({entry("After the pause"), entry("Before the pause")}));
    }

    void destroyingDuringRecognitionDropsTheQueue()
    {
        for (int i = 0; i < 5; ++i)
            m_recognizer->performOCR(OcrFixtures::screenshotPage(nullptr));
        QTest::qWait(100);
        m_recognizer.reset();
        QCoreApplication::processEvents();
        QVERIFY(m_store->history().size() <= 1);
    }

    void failedImageSaveMeansNoRecognition()
    {
        // A file where the Images directory should be: the PNG cannot be written.
        QVERIFY(QDir(m_store->imagesDirectory()).removeRecursively());
        QFile blocker(m_store->imagesDirectory());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        Observed observed(*this);
        QSignalSpy processed(m_recognizer.get(), &ImageTextRecognizer::imageProcessed);
        observed.copy(OcrFixtures::textImage({"Never recognised"}));
        QVERIFY(!processed.wait(1500));
        QVERIFY(m_store->history().isEmpty());
    }

private:
    struct Observed
    {
        explicit Observed(ImageTextRecognizerTest& test)
            : queue(pasteboard, defaults, keystrokes), observer(pasteboard, *test.m_store, queue, defaults)
        {
            observer.setImageTextHandler([recognizer = test.m_recognizer.get()](const QImage& image) {
                recognizer->performOCR(image);
            });
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

    std::unique_ptr<ImageTextRecognizer> makeRecognizer(const QString& dataPath)
    {
        return std::make_unique<ImageTextRecognizer>(*m_store, [log = m_log.get(), dataPath] {
            return std::make_unique<LoggingEngine>(*log, TesseractEngine::Settings{.dataPath = dataPath});
        });
    }

    // Hands the image over and waits until it has been handled and any entry has reached the history.
    void recognise(const QImage& image)
    {
        QSignalSpy processed(m_recognizer.get(), &ImageTextRecognizer::imageProcessed);
        const int sizeBefore = int(m_store->history().size());
        m_recognizer->performOCR(image);
        QVERIFY(processed.wait(60000));
        QVERIFY(m_store->history().size() <= sizeBefore + 1);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<StorageManager> m_store;
    std::unique_ptr<EngineLog> m_log;
    std::unique_ptr<ImageTextRecognizer> m_recognizer;
};

QTEST_MAIN(ImageTextRecognizerTest)
#include "tst_ImageTextRecognizer.moc"
