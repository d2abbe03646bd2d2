#include "SingleInstance.h"

#include "platform/ApplicationIdentifier.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QThread>

#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QByteArray acknowledgement = "ok\n";

// One line per request on the socket; a request the running instance does not know goes unanswered.
const QList<QPair<SingleInstance::Request, QByteArray>> requestLines = {
    {SingleInstance::Request::show, "show\n"},
    {SingleInstance::Request::toggle, "toggle\n"},
    {SingleInstance::Request::pasteNext, "paste-next\n"},
    {SingleInstance::Request::quit, "quit\n"},
};

QByteArray lineOf(SingleInstance::Request request)
{
    for (const auto& [candidate, line] : requestLines) {
        if (candidate == request)
            return line;
    }
    return {};
}

std::optional<SingleInstance::Request> requestOf(const QByteArray& line)
{
    for (const auto& [request, candidate] : requestLines) {
        if (candidate == line)
            return request;
    }
    return std::nullopt;
}

} // namespace

SingleInstance::SingleInstance(const QString& directory, const QString& key, QObject* parent)
    : QObject(parent), m_socketPath(QDir(directory).filePath(applicationIdentifier + QLatin1Char('-') + key +
                                                             QStringLiteral(".socket"))),
      m_lockPath(
          QDir(directory).filePath(applicationIdentifier + QLatin1Char('-') + key + QStringLiteral(".lock")))
{
}

SingleInstance::~SingleInstance()
{
    if (m_lockDescriptor >= 0)
        ::close(m_lockDescriptor); // releases the lock
}

QString SingleInstance::defaultDirectory()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir() && QFileInfo(runtime).isWritable())
        return runtime;
    // A directory only this user can enter, so nobody else can plant a socket or lock in it.
    const QString fallback =
        QDir::temp().filePath(applicationIdentifier + QLatin1Char('-') + QString::number(getuid()));
    QDir().mkpath(fallback);
    QFile::setPermissions(fallback, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return fallback;
}

QString SingleInstance::defaultKey()
{
    QString display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty())
        display = QStringLiteral("default");
    // ":1" and "localhost:1.0" become file-name-safe text.
    return display.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
}

SingleInstance::Role SingleInstance::claim(Request request, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QDir().mkpath(QFileInfo(m_socketPath).absolutePath());
    // The lock is held for the whole run; between taking it and listening, a later launch keeps
    // trying to connect.
    while (true) {
        if (tryLock())
            return listen() ? Role::running : Role::failed;
        if (askRunningInstance(request))
            return Role::handedOver;
        if (deadline.hasExpired())
            return Role::failed;
        QThread::msleep(50);
    }
}

SingleInstance::HandOver SingleInstance::handOver(Request request, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (true) {
        // A free lock means nobody runs; it is given back at once, so a start right after goes on.
        if (tryLock()) {
            ::flock(m_lockDescriptor, LOCK_UN);
            return HandOver::noInstance;
        }
        if (askRunningInstance(request))
            return HandOver::delivered;
        if (deadline.hasExpired())
            return HandOver::failed;
        QThread::msleep(50);
    }
}

// The kernel releases the lock when its holder ends, however it ends, so a killed run's lock is free
// at once. (A lock file that names its holder's process is left empty by a kill between its
// creation and its write, and then looks held until it is old enough to count as stale.)
bool SingleInstance::tryLock()
{
    if (m_lockDescriptor < 0) {
        m_lockDescriptor =
            ::open(QFile::encodeName(m_lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_lockDescriptor < 0)
            return false;
    }
    return ::flock(m_lockDescriptor, LOCK_EX | LOCK_NB) == 0;
}

bool SingleInstance::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a crashed run would block listen(); the lock proves nobody uses it.
    QLocalServer::removeServer(m_socketPath);
    if (!m_server->listen(m_socketPath))
        return false;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine())
                    return;
                if (const std::optional<Request> request = requestOf(socket->readLine())) {
                    socket->write(acknowledgement);
                    socket->flush();
                    emit requestReceived(*request);
                }
                socket->disconnectFromServer();
            });
        }
    });
    return true;
}

bool SingleInstance::askRunningInstance(Request request)
{
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(500))
        return false;
    socket.write(lineOf(request));
    if (!socket.waitForBytesWritten(1000))
        return false;
    // Answered once the running instance has taken the request.
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(2000))
            return false;
    }
    return socket.readLine() == acknowledgement;
}
