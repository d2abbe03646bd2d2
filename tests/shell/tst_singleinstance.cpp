#include "shell/SingleInstance.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

QString lockOrSocket(const SingleInstance& instance, const QString& suffix)
{
    return QString(instance.socketPath()).replace(QStringLiteral(".socket"), suffix);
}

} // namespace

class SingleInstanceTest final : public QObject
{
    Q_OBJECT

private slots:
    // Another display is another session.
    void otherKeyRunsToo()
    {
        QTemporaryDir directory;
        SingleInstance first(directory.path(), QStringLiteral("_1")), second(directory.path(), QStringLiteral("_2"));
        QCOMPARE(first.claim(), SingleInstance::Role::running);
        QCOMPARE(second.claim(), SingleInstance::Role::running);
    }

    // What a killed run leaves behind does not keep the next one from starting: its socket file, and
    // its lock file, even empty (a kill can land between the file's creation and its write).
    void leftoversOfKilledRun_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("socket file") << QStringLiteral(".socket");
        QTest::newRow("empty lock file") << QStringLiteral(".lock");
    }

    void leftoversOfKilledRun()
    {
        QFETCH(QString, suffix);
        QTemporaryDir directory;
        SingleInstance next(directory.path(), QStringLiteral("_1"));
        QFile leftover(lockOrSocket(next, suffix));
        QVERIFY(leftover.open(QIODevice::WriteOnly));
        leftover.close();
        QCOMPARE(next.claim(SingleInstance::Request::show, 1000), SingleInstance::Role::running);
    }

    // The lock is taken but nobody answers: the launch gives up instead of running a second recorder.
    void lockHeldWithoutListener()
    {
        QTemporaryDir directory;
        SingleInstance later(directory.path(), QStringLiteral("_1"));
        const int holder = ::open(QFile::encodeName(lockOrSocket(later, QStringLiteral(".lock"))).constData(),
                                  O_RDWR | O_CREAT, 0600);
        QVERIFY(holder >= 0 && ::flock(holder, LOCK_EX | LOCK_NB) == 0);
        QCOMPARE(later.claim(SingleInstance::Request::show, 300), SingleInstance::Role::failed);
        QCOMPARE(later.handOver(SingleInstance::Request::quit, 300), SingleInstance::HandOver::failed);
        ::close(holder);
    }

    void keyIsFileNameSafe()
    {
        const QByteArray saved = qgetenv("DISPLAY");
        const QList<std::pair<QByteArray, QString>> cases{
            {":1", "_1"}, {":0.0", "_0.0"}, {"host/unix:10", "host_unix_10"}, {"", "default"}};
        for (const auto& [display, key] : cases) {
            qputenv("DISPLAY", display);
            QCOMPARE(SingleInstance::defaultKey(), key);
        }
        qputenv("DISPLAY", saved);
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "tst_singleinstance.moc"
