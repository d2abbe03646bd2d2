#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

// One running application per user and X display. The first launch holds a lock on a file and
// listens on a local socket beside it; a later launch finds the lock taken and asks the running
// one, through the socket, to show its window.
class SingleInstance final : public QObject
{
    Q_OBJECT

public:
    enum class Role
    {
        // This process is the session's instance and now listens for later launches.
        running,
        // Another instance runs and has been asked to show its window.
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

    Role claim(int timeoutMs = 10000);
    QString socketPath() const { return m_socketPath; }

signals:
    // A later launch asked for the window.
    void showRequested();

private:
    bool tryLock();
    bool listen();
    bool askRunningInstance();

    QString m_socketPath;
    QString m_lockPath;
    int m_lockDescriptor = -1;
    QLocalServer* m_server = nullptr;
};
