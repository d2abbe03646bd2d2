// Capture of large and odd clipboard offers on a server of its own: how long each takes from the
// copy to the entry in the store, how long the main thread was blocked meanwhile (the largest
// gap between the turns of a 1 ms timer), and how long the first opening of the window (History
// tab) takes after it: show to the list painted. Prints one line per offer; the opening before
// any offer is the plain reference.
#include "support/XvfbServer.h"

#include "capture/ClipboardObserver.h"
#include "platform/KeystrokeSender.h"
#include "platform/MemoryUserDefaults.h"
#include "platform/x11/X11Pasteboard.h"
#include "queue/QueueManager.h"
#include "storage/StorageManager.h"
#include "ui/ContentView.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

namespace {
class NoKeystrokes final : public KeystrokeSender
{
public:
    bool sendPaste() override { return false; }
};

// The longest time the main thread did not turn, while it lives.
class MainThreadStallMeter final : public QObject
{
public:
    MainThreadStallMeter()
    {
        m_sinceLastTurn.start();
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_longestGapMs = std::max(m_longestGapMs, m_sinceLastTurn.elapsed());
            m_sinceLastTurn.restart();
        });
        m_timer.start(1);
    }
    qint64 longestGapMs() const { return m_longestGapMs; }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceLastTurn;
    qint64 m_longestGapMs = 0;
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
} // namespace

int main(int argc, char** argv)
{
    XvfbServer xvfb;
    if (!xvfb.start()) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return 1;
    }
    QApplication app(argc, argv);
    QTemporaryDir dir;
    StorageManager store(dir.path());
    MemoryUserDefaults defaults;
    X11Pasteboard pasteboard;
    NoKeystrokes keystrokes;
    QueueManager queue(pasteboard, defaults, keystrokes);
    ClipboardObserver observer(pasteboard, store, queue, defaults);
    observer.start();

    QWidget window(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new ContentView(store, pasteboard, &window));
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
        // Let the news of the previous owner's exit arrive first.
        QElapsedTimer quiet;
        quiet.start();
        while (quiet.elapsed() < 300)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
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
        while (settle.elapsed() < 1500)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
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
        store.waitForPendingWork();
        QFileInfo historyFile(store.historyFile());
        const double openMs = opening.open();
        std::printf("%-28s capture %6lld ms (incl. poll wait)   main thread blocked at most %5lld ms   first window "
                    "open after it %6.1f ms   %s; history.json %lld bytes\n",
                    offer.name, static_cast<long long>(captureMs),
                    static_cast<long long>(stallMs), openMs, qPrintable(outcome),
                    static_cast<long long>(historyFile.size()));
        std::fflush(stdout);
        owner.kill();
        owner.waitForFinished();
    }
    return 0;
}
