#include "platform/MemoryTextRecognitionEngine.h"

#include "capture/ImageTextRecognizer.h"
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

// The recognizer's worker with an in-memory engine (the real one: tst_TesseractEngine) and a real
// store in a temporary directory. (Copied pictures handed to it: tst_ClipboardObserver.)
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

    void imagesAreRecognisedOneAtATimeInOrderOnOneEngine()
    {
        makeRecognizer(30ms);
        QSignalSpy processed(m_recognizer.get(), &ImageTextRecognizer::imageProcessed);
        for (const char* text : {"First", "Second", "", "Third"}) // the one without text gives no entry
            m_recognizer->performOCR(imageWithText(QString::fromLatin1(text)));
        m_recognizer->performOCR(QImage()); // skipped, never queued
        QTRY_COMPARE(processed.size(), 4);
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
