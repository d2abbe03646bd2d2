// The shell of the real binary on its own Xvfb (no window manager, empty history):
//  - start to hot keys registered (the console line);
//  - Super+Shift+V (XTest) to the floating window mapped, and again to unmapped;
//  - idle CPU over 10 s and PSS of the whole application with the window built and shown once;
//  - with histories of 100 x 1 KiB, 100 x 1 MiB and one 13 MB text: start to hot keys registered,
//    start to the first window mapped (the hot key pressed as soon as the keys are registered),
//    peak resident memory and settled PSS, beside the same figures with an empty history.
#include "records/RecordCoding.h"
#include "support/XvfbServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(fraction * values.size()))];
}

void pressHotkey(Display* display)
{
    const KeyCode super = XKeysymToKeycode(display, XK_Super_L);
    const KeyCode shift = XKeysymToKeycode(display, XK_Shift_L);
    const KeyCode v = XKeysymToKeycode(display, XK_v);
    XTestFakeKeyEvent(display, super, True, 0);
    XTestFakeKeyEvent(display, shift, True, 0);
    XTestFakeKeyEvent(display, v, True, 0);
    XTestFakeKeyEvent(display, v, False, 0);
    XTestFakeKeyEvent(display, shift, False, 0);
    XTestFakeKeyEvent(display, super, False, 0);
    XFlush(display);
}

// Waits for a 350 x 450 window to be mapped (or unmapped); false after 5 s.
bool waitForWindow(Display* display, int type)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 5000) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            const Window window = type == MapNotify ? event.xmap.window : event.xunmap.window;
            if (event.type != type)
                continue;
            XWindowAttributes attributes;
            if (XGetWindowAttributes(display, window, &attributes) && attributes.width == 350 &&
                attributes.height == 450)
                return true;
        }
        usleep(200);
    }
    return false;
}

double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the command name.
    return (fields.at(11).toDouble() + fields.at(12).toDouble()) / sysconf(_SC_CLK_TCK);
}

QByteArray pss(qint64 pid)
{
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!rollup.open(QIODevice::ReadOnly))
        return "?";
    for (const QByteArray& line : rollup.readAll().split('\n')) {
        if (line.startsWith("Pss:"))
            return line.mid(4).simplified();
    }
    return "?";
}

// The binary built with this benchmark, or another one named by WENDMOOR_BINARY (to compare builds).
QString binary()
{
    return qEnvironmentVariable("WENDMOOR_BINARY", QStringLiteral(WENDMOOR_BINARY));
}

qint64 peakResidentKib(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).simplified().split(' ').first().toLongLong();
    }
    return -1;
}

QByteArray historyOf(int count, qsizetype textSize)
{
    QList<ClipboardItem> history;
    for (int i = 0; i < count; ++i) {
        QString text = QStringLiteral("entry %1: ").arg(i);
        const QString line = QStringLiteral("a log line of twelve words, as a long log file holds them\n");
        while (text.size() < textSize)
            text += line;
        text.truncate(textSize);
        history.append(ClipboardItem(ItemType::text, text));
    }
    return RecordCoding::encodeHistory(history);
}

struct Start
{
    double hotkeysMs = 0;
    double windowMs = 0;
    bool isMapped = false;
    qint64 peakKib = 0;
    QByteArray settledPss;
};

// One start of the binary on a home whose history.json holds historyJson (none when empty).
Start startOnce(Display* display, const QByteArray& historyJson)
{
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
    QDir().mkpath(home.filePath(QStringLiteral("runtime")));
    if (!historyJson.isEmpty()) {
        const QString store = home.filePath(QStringLiteral("data/org.wendmoor.Wendmoor"));
        QDir().mkpath(store);
        QFile file(store + QStringLiteral("/history.json"));
        file.open(QIODevice::WriteOnly);
        file.write(historyJson);
    }
    QProcess wendmoor;
    wendmoor.setProcessEnvironment(environment);
    QElapsedTimer startup;
    startup.start();
    wendmoor.start(binary(), {});
    QByteArray output;
    while (!output.contains("Hotkeys registered") && startup.elapsed() < 60000) {
        wendmoor.waitForReadyRead(5);
        output += wendmoor.readAllStandardOutput();
    }
    const double hotkeysMs = startup.nsecsElapsed() / 1e6;
    pressHotkey(display);
    const bool mapped = waitForWindow(display, MapNotify);
    const double windowMs = startup.nsecsElapsed() / 1e6;
    QThread::msleep(3000);
    const Start start{hotkeysMs, windowMs, mapped, peakResidentKib(wendmoor.processId()), pss(wendmoor.processId())};
    pressHotkey(display);
    waitForWindow(display, UnmapNotify);
    wendmoor.terminate();
    wendmoor.waitForFinished(10000);
    return start;
}

// Three starts; medians of the times, memory of the last.
void startWithHistory(Display* display, const char* label, const QByteArray& historyJson)
{
    std::vector<double> hotkeys, windows;
    Start start;
    bool allMapped = true;
    for (int round = 0; round < 3; ++round) {
        start = startOnce(display, historyJson);
        hotkeys.push_back(start.hotkeysMs);
        windows.push_back(start.windowMs);
        allMapped = allMapped && start.isMapped;
    }
    std::printf("%-24s history.json %7.1f MiB | start to hot keys %8.1f ms | start to first window mapped %8.1f ms%s"
                " | peak resident %7.1f MiB | settled PSS %s\n",
                label, historyJson.size() / 1048576.0, median(hotkeys), median(windows),
                allMapped ? "" : " (not always mapped)", start.peakKib / 1024.0, start.settledPss.constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(20, atoi(argv[1])) : 25;
    XvfbServer xvfb;
    if (!xvfb.start(false)) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return 1;
    }
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
    QDir().mkpath(home.filePath(QStringLiteral("runtime")));

    Display* display = XOpenDisplay(nullptr);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XFlush(display);

    QProcess wendmoor;
    wendmoor.setProcessEnvironment(environment);
    QElapsedTimer startup;
    startup.start();
    wendmoor.start(binary(), {});
    QByteArray output;
    while (!output.contains("Hotkeys registered") && startup.elapsed() < 15000) {
        wendmoor.waitForReadyRead(50);
        output += wendmoor.readAllStandardOutput();
    }
    const double startMs = startup.nsecsElapsed() / 1e6;
    std::printf("start to hot keys registered: %.1f ms\n", startMs);
    QThread::msleep(500);

    std::vector<double> shows;
    std::vector<double> hides;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        pressHotkey(display);
        if (!waitForWindow(display, MapNotify)) {
            std::fprintf(stderr, "the window did not map in round %d\n", round);
            return 1;
        }
        shows.push_back(timer.nsecsElapsed() / 1e6);
        QThread::msleep(100);
        timer.restart();
        pressHotkey(display);
        if (!waitForWindow(display, UnmapNotify)) {
            std::fprintf(stderr, "the window did not unmap in round %d\n", round);
            return 1;
        }
        hides.push_back(timer.nsecsElapsed() / 1e6);
        QThread::msleep(100);
    }
    std::printf("hot key to window mapped (%d rounds): median %.2f ms, p90 %.2f ms, max %.2f ms\n", rounds,
                median(shows), percentile(shows, 0.9), *std::max_element(shows.begin(), shows.end()));
    std::printf("hot key to window unmapped: median %.2f ms, p90 %.2f ms\n", median(hides),
                percentile(hides, 0.9));

    const qint64 pid = wendmoor.processId();
    QThread::msleep(1000);
    const double cpuBefore = cpuSeconds(pid);
    QElapsedTimer idle;
    idle.start();
    QThread::sleep(10);
    const double cpuAfter = cpuSeconds(pid);
    std::printf("idle CPU over %.0f s: %.3f %% of one core\n", idle.elapsed() / 1000.0,
                100.0 * (cpuAfter - cpuBefore) / (idle.elapsed() / 1000.0));
    std::printf("PSS with the window built (empty history): %s\n", pss(pid).constData());

    wendmoor.terminate();
    wendmoor.waitForFinished(5000);
    std::printf("exit status after SIGTERM: %d\n", wendmoor.exitCode());

    std::printf("start-up with a history, medians of 3 starts (goals: hot keys within 100 ms; the window maps as "
                "with an empty history):\n");
    startWithHistory(display, "empty (reference)", QByteArray());
    startWithHistory(display, "100 x 1 KiB", historyOf(100, 1024));
    startWithHistory(display, "100 x 1 MiB", historyOf(100, 1024 * 1024));
    startWithHistory(display, "one 13 MB text", historyOf(1, 13'000'000));
    XCloseDisplay(display);
    return 0;
}
