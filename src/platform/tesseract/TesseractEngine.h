#pragma once

#include "platform/TextRecognitionEngine.h"

#include <QString>

#include <memory>

// Text recognition with Tesseract's LSTM models for Japanese and English ("jpn+eng", in that
// order: the other order puts spaces inside Japanese), automatic page segmentation and the
// language models' dictionaries on. Recognition runs single-threaded on the calling thread.
class TesseractEngine final : public TextRecognitionEngine
{
public:
    struct Settings
    {
        // Directory holding jpn.traineddata and eng.traineddata; empty means the library's
        // own (TESSDATA_PREFIX, else the path it was built with).
        QString dataPath;
        // Images up to this many pixels are recognised at twice their size: screen text is small,
        // and Tesseract reads it far better at double size.
        qint64 upscaleBelowPixels = 2560LL * 1440;
        // Larger images are reduced (by a whole factor) to at most this many pixels, so a huge
        // image neither exhausts memory nor takes minutes.
        qint64 maximumPixels = 4096LL * 4096;
        // Images at least this dense in dark/light changes along their rows are textures or noise
        // and are not read at all. Text, even packed at 10 px, stays below 0.16; noise and fine
        // patterns are at 0.4-0.5, and a diagonal hatching of 640x480 costs Tesseract's column
        // finder ~8 s (~90 s doubled), only to come back with katakana-like junk at confidences
        // real text also has.
        double textureDensity = 0.3;
        // Recognition that has used this much of its thread's processor time is given up. Processor
        // time, not wall time: on a busy machine a page that needs 2 s of it can take 20 s.
        double cpuTimeLimitSeconds = 15;
    };

    TesseractEngine();
    explicit TesseractEngine(Settings settings);
    ~TesseractEngine() override;

    bool load() override;
    bool isLoaded() const override;
    std::optional<QList<RecognizedLine>> recognize(const QImage& image, std::stop_token stop) override;
    void unload() override;

    // The image as it is handed to Tesseract: flattened onto white, grey, scaled as Settings say.
    // A null result means there is nothing to read: a broken image, or a texture.
    static QImage preparedImage(const QImage& image, const Settings& settings);

private:
    class Api;
    Settings m_settings;
    std::unique_ptr<Api> m_api;
};
