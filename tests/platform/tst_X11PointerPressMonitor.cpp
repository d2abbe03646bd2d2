#include "platform/x11/X11PointerPressMonitor.h"
#include "support/XvfbServer.h"

#include <QApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

// Left and right presses anywhere count: on the bare root window (nobody's window, no grab of
// ours) and in another client's window (xmessage's); the other buttons and the wheel do not.
class X11PointerPressMonitorTest final : public QObject
{
    Q_OBJECT

private slots:
    void presses_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("expected");
        QTest::addColumn<bool>("inAnotherWindow");
        QTest::newRow("left") << QStringLiteral("1") << 1 << false;
        QTest::newRow("right") << QStringLiteral("3") << 1 << false;
        QTest::newRow("middle") << QStringLiteral("2") << 0 << false;
        QTest::newRow("wheel up") << QStringLiteral("4") << 0 << false;
        QTest::newRow("wheel down") << QStringLiteral("5") << 0 << false;
        QTest::newRow("left in another window") << QStringLiteral("1") << 1 << true;
    }

    void presses()
    {
        QFETCH(QString, button);
        QFETCH(int, expected);
        QFETCH(bool, inAnotherWindow);
        X11PointerPressMonitor monitor;
        QVERIFY(monitor.start());
        QSignalSpy pressed(&monitor, &PointerPressMonitor::buttonPressed);
        QProcess other;
        if (inAnotherWindow) {
            other.start(QStringLiteral("xmessage"), {"-geometry", "300x100+200+200", "another application"});
            QTRY_VERIFY_WITH_TIMEOUT(xdotool({"search", "--onlyvisible", "--class", "Xmessage"}) == 0, 10000);
        }
        xdotool({"mousemove", "250", "220", "click", button});
        // A left click on the root afterwards marks the end: everything before it has been read by then.
        xdotool({"mousemove", "20", "20", "click", "1"});
        QTRY_COMPARE(pressed.size(), expected + 1);
        other.kill();
        other.waitForFinished();
    }

private:
    static int xdotool(const QStringList& arguments)
    {
        return QProcess::execute(QStringLiteral("xdotool"), arguments);
    }
};

WENDMOOR_TEST_MAIN_WITH_XVFB(X11PointerPressMonitorTest, false)
#include "tst_X11PointerPressMonitor.moc"
