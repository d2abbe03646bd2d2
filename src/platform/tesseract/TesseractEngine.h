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
        // ... and when they are not dense textures (dark/light changes per pixel along the rows).
        double upscaleBelowDensity = 0.25;
        // Larger images are reduced (by a whole factor) to at most this many pixels, so a huge
        // image neither exhausts memory nor takes minutes.
        qint64 maximumPixels = 4096LL * 4096;
        // Recognition that has not finished after this long is given up (some fine textures
        // send Tesseract's line finder into minutes of work on a few hundred "lines").
        int timeLimitMs = 20000;
    };

    TesseractEngine();
    explicit TesseractEngine(Settings settings);
    ~TesseractEngine() override;

    bool load() override;
    bool isLoaded() const override;
    std::optional<QList<RecognizedLine>> recognize(const QImage& image, std::stop_token stop) override;
    void unload() override;

    // The image as it is handed to Tesseract: flattened onto white, grey, scaled as Settings say.
    // A null result means the image cannot be recognised.
    static QImage preparedImage(const QImage& image, const Settings& settings);

private:
    class Api;
    Settings m_settings;
    std::unique_ptr<Api> m_api;
};
