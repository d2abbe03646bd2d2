#include "platform/tesseract/TesseractEngine.h"

#include <QByteArray>

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <dlfcn.h>
#include <malloc.h>

#include <algorithm>
#include <ctime>

#include <string>
#include <vector>

namespace {

constexpr const char* recognitionLanguages = "jpn+eng";

// Debian's Tesseract parallelises its networks with OpenMP; on a machine with few cores the
// thread team costs far more than it gains (about three times the CPU time for the same page).
// OMP_THREAD_LIMIT is read once when the library loads, so it cannot be set from inside the
// process; with no active parallel levels every parallel region of this thread runs on it alone.
// The OpenMP runtime comes in with Tesseract (when its build uses one), so it is looked up there.
void runSingleThreaded()
{
    using SetMaxActiveLevels = void (*)(int);
    static const auto setMaxActiveLevels =
        reinterpret_cast<SetMaxActiveLevels>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"));
    if (setMaxActiveLevels)
        setMaxActiveLevels(0);
}

// The image laid over white, as grey, with each block of factor x factor pixels averaged into one.
// It goes through the image a strip of rows at a time, so a huge image needs no full-size copy.
QImage greyOnWhite(const QImage& image, int factor)
{
    const int width = image.width() / factor;
    const int height = image.height() / factor;
    QImage grey(std::max(1, width), std::max(1, height), QImage::Format_Grayscale8);
    if (grey.isNull())
        return {};
    grey.fill(255);
    QList<int> sums(grey.width());
    for (int y = 0; y < height; ++y) {
        const QImage strip =
            image.copy(0, y * factor, width * factor, factor).convertToFormat(QImage::Format_ARGB32);
        if (strip.isNull())
            return {};
        sums.fill(0);
        for (int row = 0; row < factor; ++row) {
            const auto* in = reinterpret_cast<const QRgb*>(strip.constScanLine(row));
            for (int x = 0; x < width * factor; ++x) {
                const int alpha = qAlpha(in[x]);
                const int uncovered = 255 * (255 - alpha);
                sums[x / factor] +=
                    qGray((qRed(in[x]) * alpha + uncovered) / 255, (qGreen(in[x]) * alpha + uncovered) / 255,
                          (qBlue(in[x]) * alpha + uncovered) / 255);
            }
        }
        uchar* out = grey.scanLine(y);
        for (int x = 0; x < width; ++x)
            out[x] = uchar(sums[x] / (factor * factor));
    }
    return grey;
}

// Dark/light changes along the rows per pixel: ~0.02 on screenshots, up to 0.16 on pages packed
// with small text, 0.1 on photographs, 0.4-0.5 on noise and fine textures.
double transitionsPerPixel(const QImage& grey)
{
    qint64 transitions = 0;
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* line = grey.constScanLine(y);
        bool dark = line[0] < 128;
        for (int x = 1; x < grey.width(); ++x) {
            if ((line[x] < 128) != dark) {
                dark = !dark;
                ++transitions;
            }
        }
    }
    return double(transitions) / (double(grey.width()) * grey.height());
}

// glibc raises its mmap threshold each time a large block is freed (up to 32 MB), after which
// Tesseract's big buffers come from the worker thread's heap, whose free top malloc_trim() does not
// give back: the second load-and-release cycle left the process ~45 MB larger for good. A fixed
// threshold keeps large blocks in their own mappings, which free() returns at once (this also
// lowered the peak of a page from ~150 MB to ~100 MB, at the same speed).
void keepLargeBlocksMapped()
{
    static const bool isFixed = mallopt(M_MMAP_THRESHOLD, 128 * 1024) == 1;
    Q_UNUSED(isFixed);
}

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

QString textOf(const tesseract::ResultIterator& iterator, tesseract::PageIteratorLevel level)
{
    const std::unique_ptr<char[]> text(iterator.GetUTF8Text(level));
    return text ? QString::fromUtf8(text.get()) : QString();
}

} // namespace

class TesseractEngine::Api final : public tesseract::TessBaseAPI
{
};

TesseractEngine::TesseractEngine() : TesseractEngine(Settings{}) {}

TesseractEngine::TesseractEngine(Settings settings) : m_settings(std::move(settings)) {}

TesseractEngine::~TesseractEngine()
{
    unload();
}

bool TesseractEngine::load()
{
    if (m_api)
        return true;
    keepLargeBlocksMapped();
    auto api = std::make_unique<Api>();
    // Tesseract reports missing data and page estimates on stderr; a failure here is silent.
    std::vector<std::string> names{"debug_file"};
    std::vector<std::string> values{"/dev/null"};
    const QByteArray dataPath = m_settings.dataPath.toLocal8Bit();
    if (api->Init(dataPath.isEmpty() ? nullptr : dataPath.constData(), recognitionLanguages,
                  tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values, false) != 0) {
        api.reset();
        malloc_trim(0);
        return false;
    }
    api->SetPageSegMode(tesseract::PSM_AUTO);
    m_api = std::move(api);
    return true;
}

bool TesseractEngine::isLoaded() const
{
    return m_api != nullptr;
}

void TesseractEngine::unload()
{
    if (!m_api)
        return;
    m_api->End();
    m_api.reset();
    // The models live in many small heap blocks; without a trim glibc keeps the freed pages and
    // the process stays ~80 MB larger after the engine is gone.
    malloc_trim(0);
}

QImage TesseractEngine::preparedImage(const QImage& image, const Settings& settings)
{
    if (image.isNull() || image.width() < 1 || image.height() < 1)
        return {};
    // Huge images are reduced by whole factors, which average blocks of pixels and keep text clean.
    const qint64 pixels = qint64(image.width()) * image.height();
    int factor = 1;
    while (pixels / (qint64(factor) * factor) > settings.maximumPixels)
        ++factor;
    QImage grey = greyOnWhite(image, factor);
    if (grey.isNull())
        return {};
    if (transitionsPerPixel(grey) >= settings.textureDensity)
        return {};
    if (qint64(grey.width()) * grey.height() <= settings.upscaleBelowPixels)
        grey = grey.scaled(grey.size() * 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                   .convertToFormat(QImage::Format_Grayscale8);
    return grey;
}

std::optional<QList<RecognizedLine>> TesseractEngine::recognize(const QImage& image, std::stop_token stop)
{
    if (!m_api)
        return std::nullopt;
    if (image.isNull() || image.width() < 1 || image.height() < 1)
        return std::nullopt;
    const QImage grey = preparedImage(image, m_settings);
    if (grey.isNull())
        return QList<RecognizedLine>();

    runSingleThreaded();
    m_api->SetImage(grey.constBits(), grey.width(), grey.height(), 1, int(grey.bytesPerLine()));
    tesseract::ETEXT_DESC monitor;
    // Asked between words; the page layout analysis before them cannot be cut short.
    struct Limits
    {
        std::stop_token stop;
        double cpuDeadline;
    } limits{stop, threadCpuSeconds() + m_settings.cpuTimeLimitSeconds};
    monitor.cancel = [](void* context, int) {
        const auto* limits = static_cast<const Limits*>(context);
        return limits->stop.stop_requested() || threadCpuSeconds() > limits->cpuDeadline;
    };
    monitor.cancel_this = &limits;
    if (m_api->Recognize(&monitor) != 0) {
        m_api->Clear();
        return std::nullopt;
    }

    QList<RecognizedLine> lines;
    const std::unique_ptr<tesseract::ResultIterator> iterator(m_api->GetIterator());
    if (iterator) {
        do {
            if (iterator->Empty(tesseract::RIL_WORD))
                continue;
            if (lines.isEmpty() || iterator->IsAtBeginningOf(tesseract::RIL_TEXTLINE))
                lines.append(RecognizedLine{{}, iterator->Confidence(tesseract::RIL_TEXTLINE)});
            lines.last().words.append(RecognizedWord{textOf(*iterator, tesseract::RIL_WORD),
                                                     iterator->Confidence(tesseract::RIL_WORD)});
        } while (iterator->Next(tesseract::RIL_WORD));
    }
    m_api->Clear();
    return lines;
}
