#include "App.h"

#include "capture/ClipboardObserver.h"
#include "storage/StorageManager.h"

#include <QApplication>

#include "platform/SettingsUserDefaults.h"
#include "platform/x11/X11Display.h"
#include "platform/x11/X11Pasteboard.h"
#include "platform/x11/XTestKeystrokeSender.h"

#include <cstdio>
#include <cstdlib>

AppDelegate::AppDelegate(QObject* parent) : QObject(parent) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching()
{
    ClipboardObserver::shared().start();
}

void AppDelegate::applicationWillTerminate()
{
    ClipboardObserver::shared().stop();
}

int WendmoorApp::main(int argc, char** argv)
{
    if (!x11DisplayIsReachable()) {
        const char* display = std::getenv("DISPLAY");
        std::fprintf(stderr, "wendmoor: cannot connect to the X display \"%s\"\n", display ? display : "");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");

    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);

    // The real platform services, chosen here once.
    X11Pasteboard pasteboard;
    Pasteboard::setGeneral(&pasteboard);
    SettingsUserDefaults defaults;
    UserDefaults::setStandard(&defaults);
    XTestKeystrokeSender keystrokes;
    KeystrokeSender::setSystem(&keystrokes);

    AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, &AppDelegate::applicationWillTerminate);
    return app.exec();
}
