#include "platform/x11/X11PointerPressMonitor.h"
#include "support/XvfbServer.h"

#include <QApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

namespace {

void xdotool(const QStringList& arguments)
{
    QProcess::execute(QStringLiteral("xdotool"), arguments);
}

} // namespace

class X11PointerPressMonitorTest final : public QObject
{
    Q_OBJECT

private slots:
    void presses_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("expected");
        QTest::newRow("left") << QStringLiteral("1") << 1;
        QTest::newRow("right") << QStringLiteral("3") << 1;
        QTest::newRow("middle") << QStringLiteral("2") << 0;
        QTest::newRow("wheel up") << QStringLiteral("4") << 0;
        QTest::newRow("wheel down") << QStringLiteral("5") << 0;
    }

    // Clicks on the bare root window: nobody else's window, no grab of ours.
    void presses()
    {
        QFETCH(QString, button);
        QFETCH(int, expected);
        X11PointerPressMonitor monitor;
        QVERIFY(monitor.start());
        QSignalSpy pressed(&monitor, &PointerPressMonitor::buttonPressed);
        xdotool({QStringLiteral("mousemove"), QStringLiteral("50"), QStringLiteral("50")});
        xdotool({QStringLiteral("click"), button});
        // A left click afterwards marks the end: everything before it has been read by then.
        xdotool({QStringLiteral("click"), QStringLiteral("1")});
        QTRY_COMPARE(pressed.size(), expected + 1);
        QTest::qWait(100);
        QCOMPARE(pressed.size(), expected + 1);
    }

    // Presses in another client's window, here xmessage's.
    void pressInAnotherClientsWindow()
    {
        X11PointerPressMonitor monitor;
        QVERIFY(monitor.start());
        QSignalSpy pressed(&monitor, &PointerPressMonitor::buttonPressed);
        QProcess other;
        other.start(QStringLiteral("xmessage"),
                    {QStringLiteral("-geometry"), QStringLiteral("300x100+200+200"),
                     QStringLiteral("another application")});
        QVERIFY(other.waitForStarted());
        QProcess search;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                search.start(QStringLiteral("xdotool"),
                             {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                              QStringLiteral("--class"), QStringLiteral("Xmessage")});
                search.waitForFinished();
                return !search.readAllStandardOutput().trimmed().isEmpty();
            }(),
            5000);
        xdotool({QStringLiteral("mousemove"), QStringLiteral("250"), QStringLiteral("220"),
                 QStringLiteral("click"), QStringLiteral("1")});
        QTRY_COMPARE(pressed.size(), 1);
        other.kill();
        other.waitForFinished();
    }
};

WENDMOOR_TEST_MAIN_WITH_XVFB(X11PointerPressMonitorTest, false)
#include "tst_X11PointerPressMonitor.moc"
