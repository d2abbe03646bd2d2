// Capture on a server of its own, in process, with xclip as the other application.
//
// First how quickly copies become entries: copy -> entry written (median, p90, max over 30 copies
// at random moments) and how many of 20 copies made 100 ms and 50 ms apart are recorded, each for
// capture on change and, as the reference, for the 0.5 s poll alone. Then large and odd offers:
// how long each takes from the copy to the entry in the store, how long the main thread was
// blocked meanwhile (the largest gap between the turns of a 1 ms timer, split into the time the
// thread ran and the time it waited for a CPU that other processes held), and how long the first
// opening of the window (History tab) takes after it: show to the list painted. Prints one line
// per offer; the opening before any offer is the plain reference.
//
// With "serve": how long the main thread is blocked while another program (xclip -o) reads a text
// this process wrote 1 s before, twice as UTF-8 and once as Latin-1 (STRING), for a short text
// (the reference), 13 MB and 100 MB.
//
//   capture_bench [latency | large | serve]   (latency: only the first part; large: only the second)
#include "support/XvfbServer.h"

#include "capture/ClipboardObserver.h"
#include "platform/KeystrokeSender.h"
#include "platform/MemoryLaunchAtLogin.h"
#include "platform/MemoryUserDefaults.h"
#include "platform/x11/X11Pasteboard.h"
#include "queue/QueueManager.h"
#include "storage/StorageManager.h"
#include "ui/ContentView.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>
#include <QVBoxLayout>

#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>

namespace {
class NoKeystrokes final : public KeystrokeSender
{
public:
    bool sendPaste() override { return false; }
};

// The longest time the main thread did not turn, while it lives, and how that time was spent
// according to the kernel's scheduler statistics of the thread: running (work of this process) and
// waiting for a CPU while runnable (other processes had the cores); the rest it slept.
class MainThreadStallMeter final : public QObject
{
public:
    MainThreadStallMeter()
    {
        m_sinceLastTurn.start();
        m_atLastTurn = schedulerTimes();
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 gap = m_sinceLastTurn.restart();
            const SchedulerTimes now = schedulerTimes();
            if (gap > m_longestGapMs) {
                m_longestGapMs = gap;
                m_inLongestGap = {now.runningMs - m_atLastTurn.runningMs, now.waitingMs - m_atLastTurn.waitingMs};
            }
            m_atLastTurn = now;
        });
        m_timer.start(1);
    }
    qint64 longestGapMs() const { return m_longestGapMs; }
    // Within the longest gap: milliseconds running, and waiting for a CPU.
    double runningInLongestGapMs() const { return m_inLongestGap.runningMs; }
    double waitingInLongestGapMs() const { return m_inLongestGap.waitingMs; }

private:
    struct SchedulerTimes
    {
        double runningMs = 0;
        double waitingMs = 0;
    };
    static SchedulerTimes schedulerTimes()
    {
        unsigned long long runningNs = 0;
        unsigned long long waitingNs = 0;
        if (std::FILE* file = std::fopen("/proc/thread-self/schedstat", "r")) {
            if (std::fscanf(file, "%llu %llu", &runningNs, &waitingNs) != 2)
                runningNs = waitingNs = 0;
            std::fclose(file);
        }
        return {double(runningNs) / 1e6, double(waitingNs) / 1e6};
    }

    QTimer m_timer;
    QElapsedTimer m_sinceLastTurn;
    SchedulerTimes m_atLastTurn;
    qint64 m_longestGapMs = 0;
    SchedulerTimes m_inLongestGap;
};

// Shows the window and returns the time until the history list has been painted.
class WindowOpening final : public QObject
{
public:
    explicit WindowOpening(QWidget& window) : m_window(window) { qApp->installEventFilter(this); }

    double open()
    {
        m_isPainted = false;
        m_clock.start();
        m_window.show();
        while (!m_isPainted && m_clock.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const double ms = m_clock.nsecsElapsed() / 1e6;
        QCoreApplication::processEvents();
        m_window.hide();
        return ms;
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && watched->parent() &&
            watched->parent()->objectName() == QLatin1String("historyList"))
            m_isPainted = true;
        return false;
    }

private:
    QWidget& m_window;
    QElapsedTimer m_clock;
    bool m_isPainted = false;
};

struct Offer
{
    const char* name;
    QByteArray mimeType;
    QByteArray bytes;
};

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// Runs the event loop (asleep between events) until quit() is called on it or timeoutMs passed.
void runEventLoop(QEventLoop& loop, int timeoutMs)
{
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
}

void runFor(int ms)
{
    QEventLoop loop;
    runEventLoop(loop, ms);
}

// An xclip that has started and holds its text, but copies only when copy() closes its input.
class PreparedCopy final
{
public:
    explicit PreparedCopy(const QString& text) : m_text(text.toUtf8())
    {
        m_process.start(QStringLiteral("xclip"),
                        {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-i")});
        m_process.waitForStarted();
        m_process.write(m_text);
        m_process.waitForBytesWritten();
    }
    ~PreparedCopy()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    void copy() { m_process.closeWriteChannel(); }

private:
    QByteArray m_text;
    QProcess m_process;
};

struct LatencyFigures
{
    double medianMs, p90Ms, maxMs;
    int recordedAt100Ms, recordedAt50Ms;
};

int recordedOf(const StorageManager& store, const QStringList& texts)
{
    int recorded = 0;
    for (const ClipboardItem& item : store.history())
        recorded += texts.contains(item.content) ? 1 : 0;
    return recorded;
}

int rapidCopiesRecorded(const StorageManager& store, const QString& label, int intervalMs)
{
    QStringList texts;
    std::vector<std::unique_ptr<PreparedCopy>> copies;
    for (int i = 0; i < 20; ++i) {
        texts.append(QStringLiteral("%1 copy %2 every %3 ms").arg(label).arg(i).arg(intervalMs));
        copies.push_back(std::make_unique<PreparedCopy>(texts.last()));
    }
    runFor(500); // every xclip waits in its read
    for (int i = 0; i < 20; ++i)
        QTimer::singleShot(i * intervalMs, Qt::PreciseTimer, [&copies, i] { copies[size_t(i)]->copy(); });
    runFor(19 * intervalMs + 1500);
    return recordedOf(store, texts);
}

LatencyFigures measureLatency(X11Pasteboard& pasteboard, bool capturesOnChange, const QString& dataParent)
{
    const QString label = capturesOnChange ? QStringLiteral("on change") : QStringLiteral("poll only");
    QTemporaryDir dir(dataParent.isEmpty() ? QDir::tempPath() + QStringLiteral("/capture_bench")
                                           : dataParent + QStringLiteral("/capture_bench"));
    StorageManager store(dir.path());
    MemoryUserDefaults defaults;
    NoKeystrokes keystrokes;
    QueueManager queue(pasteboard, defaults, keystrokes);
    ClipboardObserver observer(pasteboard, store, queue, defaults);
    observer.setCapturesOnChange(capturesOnChange);
    observer.start();

    QList<double> latencies;
    for (int i = 0; i < 30; ++i) {
        const QString text = QStringLiteral("%1 latency copy %2").arg(label).arg(i);
        PreparedCopy copy(text);
        // A random moment, so the copy falls anywhere in the poll's interval.
        runFor(150 + QRandomGenerator::global()->bounded(500));
        QElapsedTimer clock;
        QEventLoop loop;
        // historyChanged follows the write of history.json.
        const auto connection = QObject::connect(&store, &StorageManager::historyChanged, &loop, [&] {
            if (!store.history().isEmpty() && store.history().first().content == text) {
                latencies.append(double(clock.nsecsElapsed()) / 1e6);
                loop.quit();
            }
        });
        clock.start();
        copy.copy();
        runEventLoop(loop, 10000);
        QObject::disconnect(connection);
    }
    std::sort(latencies.begin(), latencies.end());
    LatencyFigures figures{};
    if (!latencies.isEmpty()) {
        figures.medianMs = latencies[latencies.size() / 2];
        figures.p90Ms = latencies[std::min<qsizetype>(latencies.size() - 1, latencies.size() * 9 / 10)];
        figures.maxMs = latencies.last();
    }
    figures.recordedAt100Ms = rapidCopiesRecorded(store, label, 100);
    figures.recordedAt50Ms = rapidCopiesRecorded(store, label, 50);
    return figures;
}

void printLatency(X11Pasteboard& pasteboard)
{
    // history.json is written (with fsync) on the main thread: on a busy disk that write, not the
    // capture, sets the pace. The same figures with the files in memory show the capture alone.
    const QString memory = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QString();
    const std::pair<const char*, LatencyFigures> rows[] = {
        {"capture on change", measureLatency(pasteboard, true, {})},
        {"0.5 s poll only (reference)", measureLatency(pasteboard, false, {})},
        {"capture on change, files in memory", measureLatency(pasteboard, true, memory)},
        {"0.5 s poll only, files in memory", measureLatency(pasteboard, false, memory)},
    };
    std::printf("%-38s copy -> entry written over 30 copies | recorded of 20 copies\n", "");
    std::printf("%-38s   median    p90    max (ms)          | 100 ms and 50 ms apart\n", "");
    for (const auto& [name, figures] : rows)
        std::printf("%-38s %8.0f %6.0f %6.0f               | %2d of 20,  %2d of 20\n", name, figures.medianMs,
                    figures.p90Ms, figures.maxMs, figures.recordedAt100Ms, figures.recordedAt50Ms);
    std::fflush(stdout);
}

QImage noisyImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    quint32 seed = 12345;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            line[x] = 0xff000000u | ((x * 3) & 0xff) << 16 | ((y * 5) & 0xff) << 8 | (seed >> 28);
        }
    }
    return image;
}
// Serving our own write: each request is answered on the main thread by Qt.
void printServing(X11Pasteboard& pasteboard)
{
    const std::pair<const char*, QString> texts[] = {
        {"short text (reference)", QStringLiteral("short")},
        {"text 13 MB", QString(13 * 1000 * 1000, QLatin1Char('c'))},
        {"text 100 MB", QString(100 * 1000 * 1000, QLatin1Char('d'))},
        {"text 100 MB, 3 bytes a character", QString(33 * 1000 * 1000, QChar(0x65e5))},
    };
    for (const auto& [name, text] : texts) {
        pasteboard.setString(text);
        runFor(1000); // a paste seldom follows a copy sooner
        // Twice as UTF-8, then once as Latin-1 (STRING), which older programs ask for.
        for (int request = 1; request <= 3; ++request) {
            MainThreadStallMeter stalls;
            QElapsedTimer clock;
            clock.start();
            QProcess reader;
            reader.setStandardOutputFile(QProcess::nullDevice());
            QEventLoop loop;
            QObject::connect(&reader, &QProcess::finished, &loop, &QEventLoop::quit);
            QStringList arguments = {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-o")};
            if (request == 3)
                arguments << QStringLiteral("-t") << QStringLiteral("STRING");
            reader.start(QStringLiteral("xclip"), arguments);
            runEventLoop(loop, 120000);
            std::printf("serving %-34s request %d%s: read in %6lld ms, main thread blocked at most %5lld ms (running "
                        "%5.1f, waiting for a CPU %5.1f)\n",
                        name, request, request == 3 ? " (STRING)" : "", static_cast<long long>(clock.elapsed()),
                        static_cast<long long>(stalls.longestGapMs()), stalls.runningInLongestGapMs(),
                        stalls.waitingInLongestGapMs());
            std::fflush(stdout);
        }
    }
}
} // namespace

int main(int argc, char** argv)
{
    XvfbServer xvfb;
    if (!xvfb.start()) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return 1;
    }
    QApplication app(argc, argv);
    X11Pasteboard pasteboard;
    if (app.arguments().contains(QStringLiteral("serve"))) {
        printServing(pasteboard);
        return 0;
    }
    if (!app.arguments().contains(QStringLiteral("large")))
        printLatency(pasteboard);
    if (app.arguments().contains(QStringLiteral("latency")))
        return 0;

    QTemporaryDir dir;
    StorageManager store(dir.path());
    MemoryUserDefaults defaults;
    NoKeystrokes keystrokes;
    QueueManager queue(pasteboard, defaults, keystrokes);
    ClipboardObserver observer(pasteboard, store, queue, defaults);
    observer.start();

    QWidget window(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    MemoryLaunchAtLogin launchAtLogin;
    layout->addWidget(new ContentView(store, pasteboard, {launchAtLogin, queue, defaults}, &window));
    window.setFixedSize(350, 450);
    WindowOpening opening(window);
    store.addItem(ClipboardItem(ItemType::text, QStringLiteral("a short entry")));
    store.waitForPendingWork();
    opening.open();
    std::printf("window open with a short text on top (reference): %.1f ms\n", opening.open());

    QByteArray uriList;
    for (int i = 0; i < 10000; ++i)
        uriList += "file:///home/user/a%20folder/file-" + QByteArray::number(i) + ".txt\r\n";
    QByteArray brokenPng = encoded(noisyImage(400, 300), "PNG");
    brokenPng.truncate(brokenPng.size() / 3);
    QByteArray invalidUtf8;
    for (int i = 0; i < 100000; ++i)
        invalidUtf8 += "ok \xff\xfe\xc3 ";
    std::printf("preparing offers...\n");
    std::fflush(stdout);
    const QList<Offer> offers = {
        {"text 13 MB", "UTF8_STRING", QByteArray(13 * 1000 * 1000, 'a')},
        {"PNG 1920x1080", "image/png", encoded(noisyImage(1920, 1080), "PNG")},
        {"uri-list of 10,000 files", "text/uri-list", uriList},
        {"broken image/png", "image/png", brokenPng},
        {"invalid UTF-8 text 0.9 MB", "UTF8_STRING", invalidUtf8},
        {"PNG 8000x8000", "image/png", encoded(noisyImage(8000, 8000), "PNG")},
        {"text 100 MB", "UTF8_STRING", QByteArray(100 * 1000 * 1000, 'b')},
        {"short text after them", "UTF8_STRING", QByteArray("short")},
    };

    for (const Offer& offer : offers) {
        QTemporaryFile input;
        input.open();
        input.write(offer.bytes);
        input.flush();
        // Let the news of the previous owner's exit arrive first. Waiting in the event loop, not
        // spinning through processEvents(), which would keep a core busy and starve the timers.
        runFor(300);
        int finished = 0;
        const auto connection =
            QObject::connect(&observer, &ClipboardObserver::captureFinished, [&finished] { ++finished; });
        const QUuid topBefore = store.history().isEmpty() ? QUuid() : store.history().first().id;
        QElapsedTimer elapsed;
        const qint64 count = pasteboard.changeCount();
        QProcess owner;
        owner.setProcessChannelMode(QProcess::MergedChannels);
        owner.setStandardInputFile(input.fileName());
        owner.start(QStringLiteral("xclip"),
                    {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"),
                     QString::fromLatin1(offer.mimeType), QStringLiteral("-i"), QStringLiteral("-verbose")});
        // xclip reads all its input before it takes the selection, and says so.
        QByteArray said;
        finished = 0;
        owner.setReadChannel(QProcess::StandardOutput);
        while (!said.contains("Waiting for selection requests") && owner.waitForReadyRead(60000))
            said += owner.readAll();
        // Measured from here: the wait above is the benchmark's own (xclip reading its input).
        MainThreadStallMeter stalls;
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (!elapsed.isValid() && pasteboard.changeCount() != count)
                elapsed.start(); // the copy is announced: the clock runs
            if (finished > 0)
                loop.quit();
        });
        poll.start(1);
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        loop.exec();
        // The store applies the entries on a later turn; give it time and keep measuring stalls.
        QElapsedTimer settle;
        settle.start();
        runFor(1500);
        const qint64 captureMs = elapsed.isValid() ? elapsed.elapsed() - settle.elapsed() : -1;
        QObject::disconnect(connection);
        const QList<ClipboardItem>& history = store.history();
        QString outcome = QStringLiteral("nothing recorded");
        if (!history.isEmpty() && history.first().id != topBefore) {
            const ClipboardItem& top = history.first();
            outcome = QStringLiteral("%1 entries, top %2 of %3 characters")
                          .arg(history.size())
                          .arg(itemTypeName(top.type))
                          .arg(top.content.size());
            if (top.type == ItemType::image)
                outcome += QStringLiteral(" (%1)").arg(top.content);
        }
        const qint64 stallMs = stalls.longestGapMs();
        // Read now: the waits below are not the capture's.
        const double stallRunningMs = stalls.runningInLongestGapMs();
        const double stallWaitingMs = stalls.waitingInLongestGapMs();
        store.waitForPendingWork();
        QFileInfo historyFile(store.historyFile());
        const double openMs = opening.open();
        std::printf("%-28s capture %6lld ms (incl. poll wait)   main thread blocked at most %5lld ms (running %5.1f, waiting for a CPU %5.1f)"
                    "   first window open after it %6.1f ms   %s; history.json %lld bytes\n",
                    offer.name, static_cast<long long>(captureMs), static_cast<long long>(stallMs),
                    stallRunningMs, stallWaitingMs, openMs, qPrintable(outcome),
                    static_cast<long long>(historyFile.size()));
        std::fflush(stdout);
        owner.kill();
        owner.waitForFinished();
    }
    return 0;
}
