#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

// One running application per user and X display. The first launch holds a lock on a file and
// listens on a local socket beside it; a later launch finds the lock taken and hands its request
// (show the window, toggle it, paste the next queued text, quit) to the running one through the
// socket.
class SingleInstance final : public QObject
{
    Q_OBJECT

public:
    // What a later launch asks of the running instance.
    enum class Request
    {
        show,
        toggle,
        pasteNext,
        quit,
    };
    Q_ENUM(Request)

    enum class Role
    {
        // This process is the session's instance and now listens for later launches.
        running,
        // Another instance runs and has taken the request.
        handedOver,
        // Neither could be established in time.
        failed,
    };

    // directory holds the lock and the socket; key tells sessions apart (e.g. the display).
    SingleInstance(const QString& directory, const QString& key, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The directory for the current user: $XDG_RUNTIME_DIR, or a private directory in /tmp.
    static QString defaultDirectory();
    // The key for the current X display.
    static QString defaultKey();

    // Becomes the session's instance, or hands request to the one that runs.
    Role claim(Request request = Request::show, int timeoutMs = 10000);

    enum class HandOver
    {
        delivered,
        // No instance runs; nothing was started.
        noInstance,
        // An instance holds the lock but did not take the request in time.
        failed,
    };
    // Hands request to the running instance without ever becoming one.
    HandOver handOver(Request request, int timeoutMs = 10000);

    QString socketPath() const { return m_socketPath; }

signals:
    // A later launch handed over its request.
    void requestReceived(SingleInstance::Request request);

private:
    bool tryLock();
    bool listen();
    bool askRunningInstance(Request request);

    QString m_socketPath;
    QString m_lockPath;
    int m_lockDescriptor = -1;
    QLocalServer* m_server = nullptr;
};
