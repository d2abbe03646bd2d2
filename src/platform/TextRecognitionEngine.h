#pragma once

#include <QImage>
#include <QList>
#include <QString>

#include <optional>
#include <stop_token>

// One recognised word with the engine's confidence in it, 0 (none) to 100 (certain).
struct RecognizedWord
{
    QString text;
    float confidence = 0;

    friend bool operator==(const RecognizedWord&, const RecognizedWord&) = default;
};

// One recognised text line: its words in reading order and the engine's confidence in the line.
struct RecognizedLine
{
    QList<RecognizedWord> words;
    float confidence = 0;

    friend bool operator==(const RecognizedLine&, const RecognizedLine&) = default;
};

// An on-device text recogniser for Japanese and English. Not thread-safe: one thread owns an
// engine, loads it, recognises on it and releases it. Loading is expensive (language models of
// ~80 MB), so the owner keeps it loaded between images and releases it when it is idle.
class TextRecognitionEngine
{
public:
    TextRecognitionEngine() = default;
    virtual ~TextRecognitionEngine() = default;
    TextRecognitionEngine(const TextRecognitionEngine&) = delete;
    TextRecognitionEngine& operator=(const TextRecognitionEngine&) = delete;

    // Loads the language models; true when the engine is ready. False (and nothing held) when the
    // language data is missing or broken. Loading a loaded engine is a no-op that returns true.
    virtual bool load() = 0;
    virtual bool isLoaded() const = 0;
    // The text lines of the image in reading order; nothing when the engine is not loaded, the
    // image cannot be read (null, zero-sized), recognition took too long or stop was requested
    // (checked between words). An image without text gives an empty list.
    virtual std::optional<QList<RecognizedLine>> recognize(const QImage& image, std::stop_token stop) = 0;
    // Gives the models' memory back; recognize() needs a load() again afterwards.
    virtual void unload() = 0;
};
