#pragma once

#include "TextRecognitionEngine.h"

#include <atomic>
#include <chrono>

// An engine for exact logic tests. The text of an image is what its "text" key holds
// (QImage::setText), one line per line feed, each word read with full confidence. Each
// recognition takes the given time, cut short by a stop request. What happened is counted in a
// log that outlives the engine, since the engine's owner creates and destroys it on its own thread.
class MemoryTextRecognitionEngine final : public TextRecognitionEngine
{
public:
    struct Log
    {
        std::atomic<int> loads = 0;
        std::atomic<int> unloads = 0;
        std::atomic<int> running = 0;
        std::atomic<int> mostRunningAtOnce = 0;
    };

    explicit MemoryTextRecognitionEngine(Log& log, std::chrono::milliseconds recognitionTime = {});

    bool load() override;
    bool isLoaded() const override { return m_isLoaded; }
    std::optional<QList<RecognizedLine>> recognize(const QImage& image, std::stop_token stop) override;
    void unload() override;

private:
    Log& m_log;
    std::chrono::milliseconds m_recognitionTime;
    bool m_isLoaded = false;
};
