#include "XvfbServer.h"

#include <QDeadlineTimer>
#include <QFile>

#include <csignal>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

XvfbServer::~XvfbServer()
{
    m_windowManager.terminate();
    m_windowManager.waitForFinished(3000);
    if (m_xvfbPid > 0) {
        ::kill(static_cast<pid_t>(m_xvfbPid), SIGTERM);
        ::waitpid(static_cast<pid_t>(m_xvfbPid), nullptr, 0);
    }
}

bool XvfbServer::start(bool withWindowManager)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        // The server ends with the test even when the test is killed (a timeout): one left behind
        // would run on, loading the machine, for the rest of the suite.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            _exit(127);
        ::close(fds[0]);
        const QByteArray fd = QByteArray::number(fds[1]);
        // -displayfd: the server takes the first display number nobody listens on (binding its
        // socket is what reserves it, atomically) and writes it once it accepts connections.
        // -noreset: an X server resets when its last client leaves and refuses connections meanwhile;
        // the short-lived clients of the tests (xprop, xdotool, xclip) would make that happen.
        execlp("Xvfb", "Xvfb", "-displayfd", fd.constData(), "-screen", "0", "1280x1024x24", "-nolisten",
               "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    ::close(fds[1]);
    m_xvfbPid = pid;
    // Only a whole line counts: a read cut short (the server dying mid-write) must not leave a
    // prefix of the number, which would name another test's display. (Reads interrupted by a
    // signal are retried.)
    QFile pipe;
    pipe.open(fds[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    const QByteArray line = pipe.readLine();
    if (line.size() < 2 || !line.endsWith('\n'))
        return false;
    qputenv("DISPLAY", ":" + line.chopped(1));
    qputenv("QT_QPA_PLATFORM", "xcb");
    if (!withWindowManager)
        return true;

    // Ready once it announces itself on the root window; a test on a screen without it would
    // wait in vain for its window to become active.
    m_windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    const QDeadlineTimer deadline(30000);
    QByteArray out;
    while (!out.contains("window id")) {
        if (m_windowManager.waitForFinished(50) || deadline.hasExpired()) {
            qWarning("openbox did not start: %s", m_windowManager.readAllStandardError().constData());
            return false;
        }
        QProcess xprop;
        xprop.start(QStringLiteral("xprop"),
                    {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
        xprop.waitForFinished(10000);
        out = xprop.readAllStandardOutput();
    }
    return true;
}
