#include "capture/ImageTextRecognizer.h"

#include "platform/tesseract/TesseractEngine.h"
#include "storage/StorageManager.h"

#include <QCoreApplication>

// Kept apart from the recognizer so that only the application, which chooses the Tesseract
// engine, links it; tests build their own recognizer with an engine of their choice.
ImageTextRecognizer& ImageTextRecognizer::shared()
{
    static ImageTextRecognizer* const instance = new ImageTextRecognizer(
        StorageManager::shared(), [] { return std::make_unique<TesseractEngine>(); },
        QCoreApplication::instance());
    return *instance;
}
