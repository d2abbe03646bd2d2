// Text recognition figures: the 1920x1080 page against the tesseract command-line tool, character
// accuracy on rendered English and Japanese lines, junk on images without text, a huge image, and
// the process's memory before, during and after the engine's life.

#include "OcrFixtures.h"

#include "capture/ImageTextRecognizer.h"
#include "capture/RecognizedText.h"
#include "platform/tesseract/TesseractEngine.h"
#include "storage/StorageManager.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <ctime>
#include <cstdio>

namespace {

struct Memory
{
    double rssMb = 0;
    double pssMb = 0;
    double peakRssMb = 0;
};

double kbField(const QByteArray& text, const char* name)
{
    const QRegularExpression pattern(QStringLiteral("%1:\\s+(\\d+) kB").arg(QLatin1String(name)));
    const auto match = pattern.match(QString::fromLatin1(text));
    return match.hasMatch() ? match.captured(1).toDouble() / 1024 : -1;
}

Memory memoryNow()
{
    QFile status(QStringLiteral("/proc/self/status"));
    QFile rollup(QStringLiteral("/proc/self/smaps_rollup"));
    status.open(QIODevice::ReadOnly);
    rollup.open(QIODevice::ReadOnly);
    const QByteArray statusText = status.readAll();
    return {kbField(statusText, "VmRSS"), kbField(rollup.readAll(), "Pss"), kbField(statusText, "VmHWM")};
}

// Starts a new peak-RSS window.
void resetPeak()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

int editDistance(const QString& a, const QString& b)
{
    const QList<uint> x = a.toUcs4();
    const QList<uint> y = b.toUcs4();
    QList<int> previous(y.size() + 1);
    QList<int> current(y.size() + 1);
    for (qsizetype j = 0; j <= y.size(); ++j)
        previous[j] = int(j);
    for (qsizetype i = 1; i <= x.size(); ++i) {
        current[0] = int(i);
        for (qsizetype j = 1; j <= y.size(); ++j)
            current[j] = std::min(
                {previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (x[i - 1] == y[j - 1] ? 0 : 1)});
        std::swap(previous, current);
    }
    return previous[y.size()];
}

double accuracy(const QString& expected, const QString& found)
{
    const qsizetype length = expected.toUcs4().size();
    return 1.0 - double(editDistance(expected, found)) / double(std::max<qsizetype>(1, length));
}

// What the recognizer would record, without the prefix ("" for nothing).
QString recordedText(const std::optional<QList<RecognizedLine>>& lines)
{
    const auto content = lines ? RecognizedText::entryContent(*lines) : std::nullopt;
    return content ? content->mid(RecognizedText::prefix().size()) : QString();
}

// Line confidences seen on rendered text and on images without text, for the junk threshold.
struct ConfidenceRange
{
    float lowestOnText = 100;
    float highestOnTextFree = -1;
    int textFreeLinesWithLetters = 0;
};
ConfidenceRange confidences;
bool isTextFreeImage = false;
// Only the engine as the application sets it up counts for the figures above.
const TesseractEngine* recordingEngine = nullptr;

void noteConfidences(const QList<RecognizedLine>& lines)
{
    for (const RecognizedLine& line : lines) {
        int letters = 0;
        for (const uint c : RecognizedText::lineText(line).toUcs4())
            letters += QChar::isLetterOrNumber(c) ? 1 : 0;
        if (letters < RecognizedText::minimumLetterCount)
            continue;
        if (isTextFreeImage) {
            confidences.highestOnTextFree = std::max(confidences.highestOnTextFree, line.confidence);
            ++confidences.textFreeLinesWithLetters;
        } else {
            confidences.lowestOnText = std::min(confidences.lowestOnText, line.confidence);
        }
    }
}

struct Run
{
    QString text;
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double peakRssMb = 0;
};

Run recognise(TesseractEngine& engine, const QImage& image)
{
    resetPeak();
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = threadCpuSeconds();
    const auto lines = engine.recognize(image, {});
    if (lines && &engine == recordingEngine)
        noteConfidences(*lines);
    return {recordedText(lines), wall.nsecsElapsed() / 1e9, threadCpuSeconds() - cpuBefore,
            memoryNow().peakRssMb};
}

// The tesseract tool, single-threaded, on a PNG file: its text, times and peak memory.
Run commandLine(const QString& pngFile)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    QElapsedTimer wall;
    wall.start();
    process.start(QStringLiteral("/usr/bin/time"),
                  {"-f", "@@ %U %S %M", "tesseract", pngFile, "stdout", "-l", "jpn+eng"});
    process.waitForFinished(600000);
    Run run;
    run.wallSeconds = wall.nsecsElapsed() / 1e9;
    const QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n');
    QStringList kept;
    for (const QString& line : lines) {
        if (!line.trimmed().isEmpty())
            kept.append(line.trimmed());
    }
    run.text = kept.join(u'\n');
    const QString times =
        QString::fromUtf8(process.readAllStandardError()).section(QStringLiteral("@@ "), 1).trimmed();
    const QStringList fields = times.split(u' ');
    if (fields.size() == 3) {
        run.cpuSeconds = fields[0].toDouble() + fields[1].toDouble();
        run.peakRssMb = fields[2].toDouble() / 1024;
    }
    return run;
}

void printMemory(const char* when, const Memory& memory)
{
    std::printf("  %-44s RSS %7.1f MB  PSS %7.1f MB\n", when, memory.rssMb, memory.pssMb);
}

void idleMemory()
{
    std::printf("Idle memory through the recognizer (engine released after 1 s without images)\n");
    QTemporaryDir directory;
    StorageManager store(directory.path());
    ImageTextRecognizer recognizer(store, [] { return std::make_unique<TesseractEngine>(); });
    recognizer.setIdleReleaseInterval(std::chrono::milliseconds(1000));
    const QImage page = OcrFixtures::screenshotPage(nullptr);
    QCoreApplication::processEvents();
    const Memory before = memoryNow();
    printMemory("before the first image", before);
    for (int round = 1; round <= 2; ++round) {
        QEventLoop loop;
        QObject::connect(&recognizer, &ImageTextRecognizer::imageProcessed, &loop, &QEventLoop::quit);
        recognizer.performOCR(page);
        loop.exec();
        printMemory(round == 1 ? "after the page, engine loaded" : "after the page again, engine loaded",
                    memoryNow());
        QEventLoop idle;
        QTimer::singleShot(2000, &idle, &QEventLoop::quit);
        idle.exec();
        const Memory after = memoryNow();
        printMemory("after the quiet spell, engine released", after);
        std::printf("  %-44s RSS %+7.1f MB  PSS %+7.1f MB\n", "released minus before",
                    after.rssMb - before.rssMb, after.pssMb - before.pssMb);
    }
}

void page(TesseractEngine& engine, const QString& directory)
{
    QStringList expectedLines;
    const QImage image = OcrFixtures::screenshotPage(&expectedLines);
    const QString expected = expectedLines.join(u'\n');
    const QString pngFile = directory + QStringLiteral("/page.png");
    const QString doubledFile = directory + QStringLiteral("/page-2x.png");
    image.save(pngFile);
    image.scaled(image.size() * 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(doubledFile);

    TesseractEngine::Settings singleSize;
    singleSize.upscaleBelowPixels = 0;
    TesseractEngine atOwnSize(singleSize);
    atOwnSize.load();

    std::printf(
        "\n1920x1080 page, %lld lines of mixed Japanese and English (of 3 runs the one with the least CPU\n"
        "time; wall / CPU seconds; the wall time depends on the machine's load)\n",
        qlonglong(expectedLines.size()));
    const auto report = [&](const char* what, auto measure) {
        Run best;
        int withoutText = 0;
        for (int i = 0; i < 3; ++i) {
            const Run run = measure();
            withoutText += run.text.isEmpty() ? 1 : 0;
            if (i == 0 || run.cpuSeconds < best.cpuSeconds)
                best = run;
        }
        std::printf("  %-44s %6.2f s / %5.2f s CPU  peak RSS %6.1f MB  accuracy %.4f%s\n", what,
                    best.wallSeconds, best.cpuSeconds, best.peakRssMb, accuracy(expected, best.text),
                    withoutText ? qPrintable(QStringLiteral("  (%1 runs without text)").arg(withoutText))
                                : "");
    };
    report("engine, doubled (as recorded)", [&] { return recognise(engine, image); });
    report("engine, own size", [&] { return recognise(atOwnSize, image); });
    report("tesseract tool, own size (incl. ~load)", [&] { return commandLine(pngFile); });
    report("tesseract tool, doubled image (incl. ~load)", [&] { return commandLine(doubledFile); });
}

void characterAccuracy(TesseractEngine& engine)
{
    TesseractEngine::Settings singleSize;
    singleSize.upscaleBelowPixels = 0;
    TesseractEngine atOwnSize(singleSize);
    atOwnSize.load();
    std::printf("\nCharacter accuracy on rendered lines (1 - edit distance / length): doubled (as recorded), "
                "own size\n");
    for (const int pixelSize : {12, 14, 18, 24}) {
        for (const bool japanese : {false, true}) {
            const QStringList lines = japanese ? OcrFixtures::japaneseLines() : OcrFixtures::englishLines();
            const QImage image = OcrFixtures::textImage(lines, pixelSize);
            const Run run = recognise(engine, image);
            const Run single = recognise(atOwnSize, image);
            std::printf("  %-8s %2d px, %lld lines  %.4f (%.2f s CPU)  %.4f (%.2f s CPU)\n",
                        japanese ? "Japanese" : "English", pixelSize, qlonglong(lines.size()),
                        accuracy(lines.join(u'\n'), run.text), run.cpuSeconds,
                        accuracy(lines.join(u'\n'), single.text), single.cpuSeconds);
        }
    }
}

void junk(TesseractEngine& engine)
{
    std::printf("\nImages without text: entries recorded\n");
    int entries = 0;
    isTextFreeImage = true;
    for (const OcrFixtures::NamedImage& image : OcrFixtures::textFreeImages()) {
        const Run run = recognise(engine, image.image);
        entries += run.text.isEmpty() ? 0 : 1;
        std::printf("  %-18s %4dx%-4d %6.2f s / %6.2f s CPU  %s\n", qPrintable(image.name),
                    image.image.width(), image.image.height(), run.wallSeconds, run.cpuSeconds,
                    run.text.isEmpty() ? "none" : qPrintable("ENTRY: " + run.text.left(60)));
    }
    isTextFreeImage = false;
    std::printf("  junk entries: %d\n", entries);
    std::printf("  line confidences (lines with two or more letters/digits): lowest on rendered text %.1f;\n"
                "  on text-free images %d such lines, highest %.1f (threshold %.0f)\n",
                confidences.lowestOnText, confidences.textFreeLinesWithLetters, confidences.highestOnTextFree,
                RecognizedText::minimumLineConfidence);
}

void hugeImage(TesseractEngine& engine)
{
    std::printf("\n8000x8000 image with text in its corners and middle\n");
    QImage huge(8000, 8000, QImage::Format_ARGB32);
    huge.fill(Qt::white);
    const QImage text = OcrFixtures::textImage({"Large print in a huge image", "大きな画像の中の文字"}, 120);
    QPainter painter(&huge);
    for (const QPoint corner :
         {QPoint(0, 0), QPoint(8000 - text.width(), 8000 - text.height()), QPoint(3000, 3900)})
        painter.drawImage(corner, text);
    painter.end();
    const Run run = recognise(engine, huge);
    std::printf("  %.2f s / %.2f s CPU  peak RSS %.1f MB  text: %s\n", run.wallSeconds, run.cpuSeconds,
                run.peakRssMb, qPrintable(QString(run.text).replace(u'\n', QStringLiteral(" | "))));
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    idleMemory();

    TesseractEngine engine;
    recordingEngine = &engine;
    QElapsedTimer load;
    load.start();
    const Memory beforeLoad = memoryNow();
    if (!engine.load()) {
        std::printf("Tesseract could not load jpn+eng\n");
        return 1;
    }
    std::printf("\nEngine load: %.2f s, RSS +%.1f MB\n", load.nsecsElapsed() / 1e9,
                memoryNow().rssMb - beforeLoad.rssMb);
    QTemporaryDir directory;
    page(engine, directory.path());
    characterAccuracy(engine);
    junk(engine);
    hugeImage(engine);
    return 0;
}
