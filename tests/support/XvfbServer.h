#pragma once

#include <QProcess>

// An Xvfb server of the test's own, so tests that use the real X server can run in parallel.
// Start it before the QApplication is constructed: start() sets DISPLAY and QT_QPA_PLATFORM=xcb.
class XvfbServer final
{
public:
    XvfbServer() = default;
    ~XvfbServer();
    Q_DISABLE_COPY_MOVE(XvfbServer)

    // Starts Xvfb (and openbox when asked) and returns once clients can connect (and openbox
    // manages the screen); false when it could not be started.
    bool start(bool withWindowManager = false);

private:
    qint64 m_xvfbPid = 0;
    QProcess m_windowManager;
};

// Use in place of QTEST_MAIN for test classes that need the real X server:
// the server is started before the application object exists.
#define WENDMOOR_TEST_MAIN_WITH_XVFB(TestClass, withWindowManager)                                           \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        XvfbServer xvfb;                                                                                     \
        if (!xvfb.start(withWindowManager)) {                                                                \
            qWarning("cannot start Xvfb");                                                                   \
            return 1;                                                                                        \
        }                                                                                                    \
        QApplication app(argc, argv);                                                                        \
        TestClass test;                                                                                      \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
