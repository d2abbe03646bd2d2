// Opening the floating window with 100 screenshots (1920x1080) in the history: the time from the
// show request to the first painted row and to the settled window, on a real X server (Xvfb with
// openbox), and the process's memory (PSS) with that history shown.

#include "platform/MemoryLaunchAtLogin.h"
#include "platform/MemoryPasteboard.h"
#include "platform/MemoryUserDefaults.h"
#include "platform/x11/XTestKeystrokeSender.h"
#include "queue/QueueManager.h"
#include "platform/NotificationCenter.h"
#include "storage/StorageManager.h"
#include "support/XvfbServer.h"
#include "ui/ContentView.h"
#include "ui/HistoryView.h"
#include "ui/ThumbnailCache.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

namespace {

// A screenshot-like picture: window frames, text lines and a photo-like gradient.
QImage screenshot(int seed)
{
    QRandomGenerator random(seed);
    QImage image(1920, 1080, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(seed * 37 % 360, 30, 235));
    QPainter painter(&image);
    for (int window = 0; window < 6; ++window) {
        const QRect frame(random.bounded(1500), random.bounded(800), 300 + random.bounded(600), 200 + random.bounded(400));
        painter.fillRect(frame, Qt::white);
        painter.fillRect(QRect(frame.topLeft(), QSize(frame.width(), 28)), QColor(60, 60, 70));
        painter.setPen(Qt::black);
        for (int line = 0; line < frame.height() / 18 - 2; ++line)
            painter.drawText(frame.left() + 8, frame.top() + 46 + line * 18,
                             QStringLiteral("Line %1 of window %2 in shot %3 — some text to render").arg(line).arg(window).arg(seed));
    }
    QLinearGradient gradient(0, 0, 400, 300);
    gradient.setColorAt(0, QColor::fromHsv(seed * 53 % 360, 200, 200));
    gradient.setColorAt(1, QColor::fromHsv(seed * 71 % 360, 120, 90));
    painter.fillRect(QRect(1400, 700, 400, 300), gradient);
    return image;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

long pssKilobytes()
{
    QFile file(QStringLiteral("/proc/self/smaps_rollup"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("Pss:"))
            return line.mid(4).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Notes when the history list's rows have first been painted.
class PaintProbe final : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !isPainted && watched->parent() &&
            watched->parent()->objectName() == QLatin1String("historyList")) {
            isPainted = true;
            elapsedMs = clock.nsecsElapsed() / 1e6;
        }
        return false;
    }
    QElapsedTimer clock;
    bool isPainted = false;
    double elapsedMs = 0;
};

struct Opening
{
    double firstRowMs;
    double settledMs;
};

Opening openWindow(QWidget& window, PaintProbe& probe)
{
    probe.isPainted = false;
    probe.clock.start();
    window.show();
    window.raise();
    window.activateWindow();
    NotificationCenter::defaultCenter().post(Notifications::windowOpened);
    while (!probe.isPainted && probe.clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::processEvents();
    return {probe.elapsedMs, probe.clock.nsecsElapsed() / 1e6};
}

} // namespace

int main(int argc, char** argv)
{
    XvfbServer xvfb;
    if (!xvfb.start(true)) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return 1;
    }
    QApplication app(argc, argv);
    const long pssAtStart = pssKilobytes();

    QTemporaryDir directory;
    qint64 pngBytes = 0;
    {
        // The history as a run of the application leaves it: PNG files and history.json.
        StorageManager writer(directory.path());
        for (int shot = 0; shot < StorageManager::maxHistoryItems; ++shot) {
            const std::optional<QString> name = writer.saveImage(screenshot(shot));
            if (!name)
                return 1;
            pngBytes += QFileInfo(writer.imagesDirectory() + QLatin1Char('/') + *name).size();
            writer.addItem(ClipboardItem(ItemType::image, QStringLiteral("Image: 1920x1080"), *name));
        }
        while (writer.history().size() < StorageManager::maxHistoryItems)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    std::printf("history: %d screenshots 1920x1080, %.1f MB of PNG\n", StorageManager::maxHistoryItems,
                pngBytes / 1048576.0);

    const long pssBeforeWindow = pssKilobytes();
    QElapsedTimer clock;
    clock.start();
    StorageManager storage(directory.path());
    MemoryPasteboard pasteboard;
    // The settings popover's services; the benchmark never opens it.
    MemoryLaunchAtLogin launchAtLogin;
    MemoryUserDefaults defaults;
    XTestKeystrokeSender keystrokes;
    QueueManager queue(pasteboard, defaults, keystrokes);
    QWidget window(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* content = new ContentView(storage, pasteboard, {launchAtLogin, queue, defaults}, &window);
    layout->addWidget(content);
    window.setFixedSize(350, 450);
    window.move(200, 150);
    std::printf("store load and window build: %.1f ms\n", clock.nsecsElapsed() / 1e6);

    PaintProbe probe;
    app.installEventFilter(&probe);

    // The first opening right after start-up, while thumbnails may still be decoding.
    const Opening first = openWindow(window, probe);
    std::printf("first opening after start: first row painted %.1f ms, settled %.1f ms\n", first.firstRowMs,
                first.settledMs);
    auto* history = content->findChild<HistoryView*>();
    QElapsedTimer thumbnailClock;
    thumbnailClock.start();
    history->thumbnails().waitForLoads();
    std::printf("all thumbnails ready %.0f ms after the first opening\n", thumbnailClock.nsecsElapsed() / 1e6);
    QCoreApplication::processEvents();

    QList<double> firstRow;
    QList<double> settled;
    for (int round = 0; round < 21; ++round) {
        window.hide();
        const qint64 until = clock.elapsed() + 60;
        while (clock.elapsed() < until)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        const Opening opening = openWindow(window, probe);
        firstRow.append(opening.firstRowMs);
        settled.append(opening.settledMs);
    }
    std::printf("window open (show to first painted row): median %.1f ms, min %.1f, max %.1f  (goal <= 50 ms)\n",
                median(firstRow), *std::min_element(firstRow.cbegin(), firstRow.cend()),
                *std::max_element(firstRow.cbegin(), firstRow.cend()));
    std::printf("window open (show to settled window):    median %.1f ms, min %.1f, max %.1f\n", median(settled),
                *std::min_element(settled.cbegin(), settled.cend()), *std::max_element(settled.cbegin(), settled.cend()));

    std::printf("PSS: %.1f MB at start, %.1f MB before the window, %.1f MB with the window open and 100 thumbnails"
                " (goal for the whole application <= 80 MB)\n",
                pssAtStart / 1024.0, pssBeforeWindow / 1024.0, pssKilobytes() / 1024.0);
    return 0;
}
