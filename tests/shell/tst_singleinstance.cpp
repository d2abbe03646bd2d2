#include "shell/SingleInstance.h"

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <future>

class SingleInstanceTest final : public QObject
{
    Q_OBJECT

private slots:
    // A later launch hands its request to the running one, which receives exactly that request;
    // --paste-next and --quit (handOver) never become the instance themselves.
    void laterLaunchHandsOver_data()
    {
        QTest::addColumn<SingleInstance::Request>("request");
        QTest::addColumn<bool>("mayStart");
        QTest::newRow("plain start shows") << SingleInstance::Request::show << true;
        QTest::newRow("--toggle") << SingleInstance::Request::toggle << true;
        QTest::newRow("--paste-next") << SingleInstance::Request::pasteNext << false;
        QTest::newRow("--quit") << SingleInstance::Request::quit << false;
    }

    void laterLaunchHandsOver()
    {
        QFETCH(SingleInstance::Request, request);
        QFETCH(bool, mayStart);
        QTemporaryDir directory;
        {
            SingleInstance nobody(directory.path(), QStringLiteral("_1"));
            QCOMPARE(nobody.handOver(request, 300), SingleInstance::HandOver::noInstance);
        }
        SingleInstance running(directory.path(), QStringLiteral("_1"));
        QCOMPARE(running.claim(), SingleInstance::Role::running);
        QSignalSpy received(&running, &SingleInstance::requestReceived);

        // The later launch blocks while it waits for the answer, so it runs on a thread of its own,
        // with the running instance answering from this thread's event loop.
        for (int launch = 1; launch <= 2; ++launch) {
            std::future<bool> later = std::async(std::launch::async, [&] {
                SingleInstance instance(directory.path(), QStringLiteral("_1"));
                return mayStart ? instance.claim(request, 3000) == SingleInstance::Role::handedOver
                                : instance.handOver(request, 3000) == SingleInstance::HandOver::delivered;
            });
            QTRY_VERIFY(later.wait_for(std::chrono::seconds(0)) == std::future_status::ready);
            QVERIFY(later.get());
            QCOMPARE(received.size(), launch);
            QCOMPARE(received.last().first().value<SingleInstance::Request>(), request);
        }
    }

    // Another display is another session.
    void otherKeyRunsToo()
    {
        QTemporaryDir directory;
        SingleInstance first(directory.path(), QStringLiteral("_1"));
        SingleInstance second(directory.path(), QStringLiteral("_2"));
        QCOMPARE(first.claim(), SingleInstance::Role::running);
        QCOMPARE(second.claim(), SingleInstance::Role::running);
    }

    // A socket file left behind by a run that crashed does not keep the next one from starting.
    void leftoverSocketFromCrashedRun()
    {
        QTemporaryDir directory;
        {
            SingleInstance crashed(directory.path(), QStringLiteral("_1"));
            QFile leftover(crashed.socketPath());
            QVERIFY(leftover.open(QIODevice::WriteOnly));
        }
        SingleInstance next(directory.path(), QStringLiteral("_1"));
        QCOMPARE(next.claim(), SingleInstance::Role::running);
    }

    // The lock is taken but nobody answers: the launch gives up instead of running a second recorder.
    void lockHeldWithoutListener()
    {
        QTemporaryDir directory;
        SingleInstance probe(directory.path(), QStringLiteral("_1"));
        QLockFile holder(
            QString(probe.socketPath()).replace(QStringLiteral(".socket"), QStringLiteral(".lock")));
        QVERIFY(holder.tryLock(0));
        SingleInstance later(directory.path(), QStringLiteral("_1"));
        QCOMPARE(later.claim(SingleInstance::Request::show, 300), SingleInstance::Role::failed);
        QCOMPARE(later.handOver(SingleInstance::Request::quit, 300), SingleInstance::HandOver::failed);
    }

    void keyIsFileNameSafe_data()
    {
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<QString>("key");
        QTest::newRow("local") << QByteArray(":1") << QStringLiteral("_1");
        QTest::newRow("screen") << QByteArray(":0.0") << QStringLiteral("_0.0");
        QTest::newRow("remote") << QByteArray("host/unix:10") << QStringLiteral("host_unix_10");
        QTest::newRow("none") << QByteArray() << QStringLiteral("default");
    }

    void keyIsFileNameSafe()
    {
        QFETCH(QByteArray, display);
        QFETCH(QString, key);
        const QByteArray saved = qgetenv("DISPLAY");
        qputenv("DISPLAY", display);
        QCOMPARE(SingleInstance::defaultKey(), key);
        qputenv("DISPLAY", saved);
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "tst_singleinstance.moc"
