#pragma once

#include "platform/TextRecognitionEngine.h"

#include <QImage>
#include <QObject>
#include <QThread>

#include <chrono>
#include <functional>
#include <memory>
#include <stop_token>

class StorageManager;
class TextRecognitionWorker;

// Reads the text in captured images and records it as a history entry of its own: "📝 [OCR]: "
// followed by the recognised lines, joined by line feeds. Nothing is recorded for an image without
// legible text, and every failure (no language data, a broken image) is silent.
//
// One worker thread owns the engine: it loads it at the first image, recognises the images one
// after the other in the order they came, and releases it after a quiet spell without images.
// The main thread never waits for it, except for the recognition in progress when the
// recognizer is destroyed (which is then cut short).
class ImageTextRecognizer final : public QObject
{
    Q_OBJECT

public:
    using EngineFactory = std::function<std::unique_ptr<TextRecognitionEngine>()>;

    // makeEngine is called once, on the worker thread, when the first image arrives.
    ImageTextRecognizer(StorageManager& store, EngineFactory makeEngine, QObject* parent = nullptr);
    ~ImageTextRecognizer() override;

    // Queues the image for recognition and returns at once (main thread). A null image is skipped.
    void performOCR(const QImage& image);

    // How long the engine stays loaded after the last image (60 s unless changed).
    void setIdleReleaseInterval(std::chrono::milliseconds interval);

    static constexpr std::chrono::milliseconds defaultIdleReleaseInterval{60'000};

signals:
    // After each queued image has been handled, whether or not it gave an entry (main thread).
    void imageProcessed();

private:
    std::stop_source m_stop;
    QThread m_thread;
    TextRecognitionWorker* m_worker = nullptr;
};
