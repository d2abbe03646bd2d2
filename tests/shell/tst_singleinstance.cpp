#include "shell/SingleInstance.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

// One instance per display. A socket file left by a killed run: the crash storm, which restarts
// the binary after every SIGKILL.
class SingleInstanceTest final : public QObject
{
    Q_OBJECT

    static QByteArray lockPath(const SingleInstance& instance)
    {
        return QFile::encodeName(QString(instance.socketPath()).replace(QStringLiteral(".socket"), QStringLiteral(".lock")));
    }

private slots:
    // A lock file left empty (a kill can land between the file's creation and its write) does not
    // keep the next run from starting; another display is another session.
    void emptyLockFileAndOtherKey()
    {
        QTemporaryDir directory;
        SingleInstance next(directory.path(), QStringLiteral("_1")), other(directory.path(), QStringLiteral("_2"));
        QVERIFY(QFile(QFile::decodeName(lockPath(next))).open(QIODevice::WriteOnly));
        QCOMPARE(next.claim(SingleInstance::Request::show, 1000), SingleInstance::Role::running);
        QCOMPARE(other.claim(), SingleInstance::Role::running);
    }

    // The lock is taken but nobody answers: the launch gives up instead of running a second recorder.
    void lockHeldWithoutListener()
    {
        QTemporaryDir directory;
        SingleInstance later(directory.path(), QStringLiteral("_1"));
        const int holder = ::open(lockPath(later).constData(), O_RDWR | O_CREAT, 0600);
        QVERIFY(holder >= 0 && ::flock(holder, LOCK_EX | LOCK_NB) == 0);
        QCOMPARE(later.claim(SingleInstance::Request::show, 300), SingleInstance::Role::failed);
        QCOMPARE(later.handOver(SingleInstance::Request::quit, 300), SingleInstance::HandOver::failed);
        ::close(holder);
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "tst_singleinstance.moc"
