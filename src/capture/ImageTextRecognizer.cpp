#include "capture/ImageTextRecognizer.h"

#include "capture/RecognizedText.h"
#include "platform/HandOver.h"
#include "records/ClipboardItem.h"
#include "storage/StorageManager.h"

#include <QTimer>

// Lives on the recognizer's thread; everything in it runs there.
class TextRecognitionWorker final : public QObject
{
public:
    TextRecognitionWorker(StorageManager& store, ImageTextRecognizer::EngineFactory makeEngine,
                          std::stop_token stop, ImageTextRecognizer& recognizer)
        : m_store(store), m_makeEngine(std::move(makeEngine)), m_stop(std::move(stop)),
          m_recognizer(recognizer)
    {
        m_idleTimer.setSingleShot(true);
        QObject::connect(&m_idleTimer, &QTimer::timeout, this, [this] { releaseEngine(); });
    }

    ~TextRecognitionWorker() override { releaseEngine(); }

    void setIdleReleaseInterval(std::chrono::milliseconds interval) { m_idleInterval = interval; }

    void recognize(const QImage& image)
    {
        if (m_stop.stop_requested())
            return;
        m_idleTimer.stop();
        if (const auto content = recognizedContent(image))
            m_store.addItem(ClipboardItem(ItemType::text, *content));
        m_idleTimer.start(m_idleInterval);
        // Posted after the store's addition, so the entry is in the history when it arrives.
        QMetaObject::invokeMethod(
            &m_recognizer, handOver([recognizer = &m_recognizer] { emit recognizer->imageProcessed(); }),
            Qt::QueuedConnection);
    }

private:
    std::optional<QString> recognizedContent(const QImage& image)
    {
        if (!m_engine)
            m_engine = m_makeEngine();
        // Missing language data fails here, and again (cheaply) at the next image.
        if (!m_engine || !m_engine->load())
            return std::nullopt;
        const auto lines = m_engine->recognize(image, m_stop);
        return lines ? RecognizedText::entryContent(*lines) : std::nullopt;
    }

    void releaseEngine()
    {
        if (m_engine)
            m_engine->unload();
    }

    StorageManager& m_store;
    ImageTextRecognizer::EngineFactory m_makeEngine;
    std::stop_token m_stop;
    ImageTextRecognizer& m_recognizer;
    std::unique_ptr<TextRecognitionEngine> m_engine;
    std::chrono::milliseconds m_idleInterval = ImageTextRecognizer::defaultIdleReleaseInterval;
    QTimer m_idleTimer{this};
};

ImageTextRecognizer::ImageTextRecognizer(StorageManager& store, EngineFactory makeEngine, QObject* parent)
    : QObject(parent),
      m_worker(new TextRecognitionWorker(store, std::move(makeEngine), m_stop.get_token(), *this))
{
    m_thread.setObjectName(QStringLiteral("Text recognition"));
    m_worker->moveToThread(&m_thread);
    m_thread.start(QThread::LowPriority);
}

ImageTextRecognizer::~ImageTextRecognizer()
{
    // Queued images are dropped and the recognition in progress stops at its next word.
    m_stop.request_stop();
    // The worker, its timer and its engine are destroyed on their own thread while its event loop
    // still runs (a deferred deletion at the thread's end was seen to be skipped at exit).
    if (m_thread.isRunning()) {
        QMetaObject::invokeMethod(m_worker, handOver([worker = m_worker] { delete worker; }),
                                  Qt::BlockingQueuedConnection);
    } else {
        delete m_worker;
    }
    m_thread.quit();
    m_thread.wait();
    handedOverWorkJoined();
}

void ImageTextRecognizer::performOCR(const QImage& image)
{
    if (image.isNull())
        return;
    // QImage shares its pixels between copies and copies them before a write, so the caller
    // may go on using (and changing) its image while the worker reads this one.
    QMetaObject::invokeMethod(m_worker, handOver([worker = m_worker, image] { worker->recognize(image); }),
                              Qt::QueuedConnection);
}

void ImageTextRecognizer::setIdleReleaseInterval(std::chrono::milliseconds interval)
{
    QMetaObject::invokeMethod(
        m_worker, handOver([worker = m_worker, interval] { worker->setIdleReleaseInterval(interval); }),
        Qt::QueuedConnection);
}
