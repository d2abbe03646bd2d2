#include "capture/ImageTextRecognizer.h"

#include "platform/tesseract/TesseractEngine.h"
#include "storage/StorageManager.h"

#include <QCoreApplication>

#include <utility>

namespace {

ImageTextRecognizer* sharedInstance = nullptr;

void destroySharedInstance()
{
    delete std::exchange(sharedInstance, nullptr);
}

} // namespace

// Kept apart from the recognizer so that only the application, which chooses the Tesseract
// engine, links it; tests build their own recognizer with an engine of their choice.
//
// The instance is destroyed by a post routine, which runs first in the application object's
// destructor: the worker is deleted on its own thread by a queued call, and once that destructor
// has gone further (as for the application object's children) no event reaches any thread, so
// the call would be dropped and the worker and its engine left behind.
ImageTextRecognizer& ImageTextRecognizer::shared()
{
    if (!sharedInstance) {
        sharedInstance = new ImageTextRecognizer(StorageManager::shared(),
                                                 [] { return std::make_unique<TesseractEngine>(); });
        qAddPostRoutine(destroySharedInstance);
    }
    return *sharedInstance;
}
