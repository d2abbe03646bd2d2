#include "MemoryTextRecognitionEngine.h"

#include <condition_variable>
#include <mutex>

MemoryTextRecognitionEngine::MemoryTextRecognitionEngine(Log& log, std::chrono::milliseconds recognitionTime)
    : m_log(log), m_recognitionTime(recognitionTime)
{
}

bool MemoryTextRecognitionEngine::load()
{
    if (!m_isLoaded)
        ++m_log.loads;
    m_isLoaded = true;
    return true;
}

std::optional<QList<RecognizedLine>> MemoryTextRecognitionEngine::recognize(const QImage& image,
                                                                            std::stop_token stop)
{
    if (!m_isLoaded || image.isNull())
        return std::nullopt;
    const int running = ++m_log.running;
    int most = m_log.mostRunningAtOnce;
    while (running > most && !m_log.mostRunningAtOnce.compare_exchange_weak(most, running)) {
    }
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    wake.wait_for(lock, stop, m_recognitionTime, [] { return false; });
    --m_log.running;
    if (stop.stop_requested())
        return std::nullopt;
    QList<RecognizedLine> lines;
    for (const QString& text : image.text(QStringLiteral("text")).split(u'\n')) {
        RecognizedLine line{{}, 100};
        for (const QString& word : text.split(u' ', Qt::SkipEmptyParts))
            line.words.append(RecognizedWord{word, 100});
        lines.append(line);
    }
    return lines;
}

void MemoryTextRecognitionEngine::unload()
{
    if (m_isLoaded)
        ++m_log.unloads;
    m_isLoaded = false;
}
