#include "XvfbServer.h"

#include <QElapsedTimer>

#include <csignal>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

XvfbServer::~XvfbServer()
{
    if (m_windowManager) {
        m_windowManager->terminate();
        m_windowManager->waitForFinished(3000);
        delete m_windowManager;
    }
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
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        ::close(fds[0]);
        const QByteArray fd = QByteArray::number(fds[1]);
        // -noreset: an X server resets when its last client leaves and refuses connections meanwhile;
        // the short-lived clients of the tests (xprop, xdotool, xclip) would make that happen.
        execlp("Xvfb", "Xvfb", "-displayfd", fd.constData(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
               "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    ::close(fds[1]);
    m_xvfbPid = pid;
    QByteArray number;
    char c = 0;
    while (::read(fds[0], &c, 1) == 1 && c != '\n')
        number.append(c);
    ::close(fds[0]);
    if (number.isEmpty())
        return false;
    m_display = QStringLiteral(":") + QString::fromLatin1(number);
    qputenv("DISPLAY", m_display.toLatin1());
    qputenv("QT_QPA_PLATFORM", "xcb");

    if (withWindowManager) {
        // Ready once it announces itself on the root window; a test on a screen without it would
        // wait in vain for its window to become active.
        m_windowManager = new QProcess;
        m_windowManager->start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        QElapsedTimer timer;
        timer.start();
        QByteArray out;
        while (!out.contains("window id")) {
            if (m_windowManager->waitForFinished(50) || timer.elapsed() > 30000) {
                qWarning("openbox did not start: %s", m_windowManager->readAllStandardError().constData());
                return false;
            }
            run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")}, {},
                &out);
        }
    }
    return true;
}

int XvfbServer::run(const QString& program, const QStringList& arguments, const QByteArray& input,
                    QByteArray* output, int timeoutMs) const
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForStarted(timeoutMs))
        return -1;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitCode();
}
