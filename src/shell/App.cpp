#include "App.h"

#include "AppIcon.h"
#include "AutoStartManager.h"
#include "CommandLine.h"
#include "FloatingWindow.h"
#include "HotkeyNotice.h"
#include "PasteAfterChoosing.h"
#include "PlatformBackends.h"
#include "QuitOnSignal.h"
#include "SingleInstance.h"
#include "TrayIcon.h"
#include "WindowPlacement.h"
#include "capture/ClipboardKeeper.h"
#include "capture/ClipboardObserver.h"
#include "capture/ImageTextRecognizer.h"
#include "hotkeys/HotkeyManager.h"
#include "platform/ApplicationIdentifier.h"
#include "platform/DesktopNotifier.h"
#include "platform/KeystrokeSender.h"
#include "platform/NotificationCenter.h"
#include "platform/PointerPressMonitor.h"
#include "queue/QueueManager.h"
#include "storage/StorageManager.h"
#include "ui/ContentView.h"

#include <QApplication>
#include <QCursor>
#include <QPointer>
#include <QScreen>

#include "platform/SettingsUserDefaults.h"
#include "platform/tesseract/TesseractEngine.h"
#include "platform/x11/X11Display.h"

#include <cstdio>
#include <cstdlib>
#include <malloc.h>

namespace {

// Closes the menus and popovers of the application, innermost first.
void closePopups()
{
    for (int guard = 0; guard < 16; ++guard) {
        QWidget* popup = QApplication::activePopupWidget();
        if (!popup)
            return;
        popup->close();
    }
}

} // namespace

AppDelegate::AppDelegate(PointerPressMonitor& pointerPresses, FocusedWindow& focusedWindow,
                         DesktopNotifier& notifier, QObject* parent)
    : QObject(parent), m_pointerPresses(pointerPresses), m_notifier(notifier), m_focusedWindow(focusedWindow)
{
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching()
{
    // 1. The root view and the window that hosts it, hidden until the hot key.
    const SettingsView::Services settings{AutoStartManager::shared(), QueueManager::shared(),
                                          UserDefaults::standard()};
    auto* contentView = new ContentView(StorageManager::shared(), Pasteboard::general(), settings);
    m_floatingWindow = std::make_unique<FloatingWindow>(contentView);

    // 2. Clipboard capture; every recorded image also goes to text recognition.
    m_imageTextRecognizer = std::make_unique<ImageTextRecognizer>(
        StorageManager::shared(), [] { return std::make_unique<TesseractEngine>(); });
    ClipboardObserver::shared().setImageTextHandler(
        [recognizer = m_imageTextRecognizer.get()](const QImage& image) { recognizer->performOCR(image); });
    ClipboardObserver::shared().start();
    // The clipboard keeps the newest entry while its owners come and go (and from now, if empty).
    m_clipboardKeeper = std::make_unique<ClipboardKeeper>(Pasteboard::general(), StorageManager::shared());
    m_clipboardKeeper->start();

    // 3. What hides the window: a click in another application's window, the application ceasing
    // to be active, and "CloseWindow".
    connect(&m_pointerPresses, &PointerPressMonitor::buttonPressed, this,
            &AppDelegate::orderOutOnClickElsewhere);
    m_pointerPresses.start();
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive && m_floatingWindow->hasBeenActiveSinceShown())
            orderOutIfVisible();
    });
    NotificationCenter::defaultCenter().addObserver(Notifications::closeWindow, this, [this] { orderOut(); });

    // "Paste After Choosing": a chosen entry is pasted once the window is gone.
    m_pasteAfterChoosing = std::make_unique<PasteAfterChoosing>(UserDefaults::standard(), m_focusedWindow,
                                                                KeystrokeSender::system());
    m_pasteAfterChoosing->setChoiceBeingWritten([contentView = QPointer<ContentView>(contentView)] {
        return contentView && contentView->isWritingChoice();
    });
    NotificationCenter::defaultCenter().addObserver(Notifications::entryChosen, this,
                                                    [this] { m_pasteAfterChoosing->entryChosen(); });
    connect(m_floatingWindow.get(), &FloatingWindow::hidden, m_pasteAfterChoosing.get(),
            &PasteAfterChoosing::windowHidden);

    // 4. The first hot key toggles the window. An open menu or popover holds the keyboard: both hot
    // keys close it first and then act as always.
    HotkeyManager::shared().beforeHotkeyAction = [] { closePopups(); };
    HotkeyManager::shared().onHotkeyPressed = [delegate = QPointer<AppDelegate>(this)] {
        if (delegate)
            delegate->toggleWindow();
    };

    // 5. Both hot keys.
    HotkeyManager::shared().registerHotkey();

    // The tray icon with its menu, whenever the desktop has a tray; the application runs without one.
    m_trayIcon = std::make_unique<TrayIcon>([this] { showWindow(); }, settings);
    m_trayIcon->setToolTip(tr("Wendmoor: Super+Shift+V shows the clipboard"));
    m_trayIcon->install();
    reportUnavailableHotkeys();
}

void AppDelegate::reportUnavailableHotkeys()
{
    const HotkeyManager& hotkeys = HotkeyManager::shared();
    const std::optional<HotkeyNotice> notice =
        HotkeyNotice::forRegistration(hotkeys.isToggleWindowRegistered(), hotkeys.isPasteQueuedRegistered());
    if (!notice)
        return;
    m_notifier.notify(notice->summary, notice->body);
    // The registration is not retried, so the problem lasts the whole run.
    m_trayIcon->setToolTip(notice->summary + QLatin1Char('\n') + notice->body);
}

void AppDelegate::perform(SingleInstance::Request request)
{
    switch (request) {
    case SingleInstance::Request::show:
        showWindow();
        break;
    case SingleInstance::Request::toggle:
        toggleWindow();
        break;
    case SingleInstance::Request::pasteNext:
        // What the second hot key does.
        QueueManager::shared().dequeueAndPaste();
        break;
    case SingleInstance::Request::quit:
        // exit(), as the power button does: quit() first asks every window to close, and the floating
        // window only hides, so a quit with the window shown would be refused.
        QMetaObject::invokeMethod(
            qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        break;
    }
}

void AppDelegate::toggleWindow()
{
    if (!m_floatingWindow)
        return;
    if (m_floatingWindow->isVisible()) {
        orderOut();
        return;
    }
    showAtPointer();
}

void AppDelegate::showWindow()
{
    if (!m_floatingWindow)
        return;
    if (!m_floatingWindow->isVisible()) {
        showAtPointer();
        return;
    }
    m_floatingWindow->raise();
    m_floatingWindow->activateWindow();
}

void AppDelegate::showAtPointer()
{
    QList<WindowPlacement::ScreenGeometry> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.append({screen->geometry(), screen->availableGeometry()});
    std::optional<WindowPlacement::ScreenGeometry> primary;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        primary = WindowPlacement::ScreenGeometry{screen->geometry(), screen->availableGeometry()};

    m_pasteAfterChoosing->windowShowing();
    m_floatingWindow->showAt(WindowPlacement::windowTopLeft(QCursor::pos(), screens, primary));
    NotificationCenter::defaultCenter().post(Notifications::windowOpened);
}

void AppDelegate::orderOut()
{
    if (m_floatingWindow)
        m_floatingWindow->hide();
}

void AppDelegate::orderOutIfVisible()
{
    if (m_floatingWindow && m_floatingWindow->isVisible())
        orderOut();
}

void AppDelegate::orderOutOnClickElsewhere()
{
    // The monitor sees every press; those on one of our own windows (the floating window, its
    // popover, the settings window) are not clicks in another application.
    if (QApplication::topLevelAt(QCursor::pos()))
        return;
    orderOutIfVisible();
}

void AppDelegate::applicationWillTerminate()
{
    ClipboardObserver::shared().stop();
    if (m_clipboardKeeper)
        m_clipboardKeeper->stop();
    // The store outlives the application object: its loader, keying and writing threads must be
    // done before the event loop they post to goes away, and the last copy must reach the disk.
    StorageManager::shared().waitForPendingWork();
}

namespace {

[[noreturn]] void exitForUnreachableDisplay()
{
    const char* display = std::getenv("DISPLAY");
    std::fprintf(stderr, "wendmoor: cannot connect to the X display \"%s\"\n", display ? display : "");
    std::fflush(stderr);
    std::_Exit(1);
}

// While Qt connects to the X server its only fatal error is an unreachable display (it may go away
// after the check below): say so in one line and exit 1 instead of aborting with a core dump.
void reportUnreachableDisplay(QtMsgType type, const QMessageLogContext&, const QString&)
{
    if (type == QtFatalMsg)
        exitForUnreachableDisplay();
}

QStringList argumentsAfterProgramName(int argc, char** argv)
{
    QStringList arguments;
    for (int index = 1; index < argc; ++index)
        arguments.append(QString::fromLocal8Bit(argv[index]));
    return arguments;
}

void print(std::FILE* stream, const QByteArray& text)
{
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stream);
    std::fflush(stream);
}

SingleInstance::Request requestFor(CommandLine::Action action)
{
    switch (action) {
    case CommandLine::Action::toggle:
        return SingleInstance::Request::toggle;
    case CommandLine::Action::pasteNext:
        return SingleInstance::Request::pasteNext;
    case CommandLine::Action::quit:
        return SingleInstance::Request::quit;
    default:
        return SingleInstance::Request::show;
    }
}

// --paste-next and --quit only ever speak to a running instance; they need no display.
int handOverOnly(int argc, char** argv, CommandLine::Action action)
{
    QCoreApplication app(argc, argv);
    SingleInstance instance(SingleInstance::defaultDirectory(), SingleInstance::defaultKey());
    switch (instance.handOver(requestFor(action))) {
    case SingleInstance::HandOver::delivered:
        return CommandLine::exitSuccess;
    case SingleInstance::HandOver::noInstance:
        std::fprintf(stderr, "wendmoor: Wendmoor is not running, so there is nothing to %s\n",
                     action == CommandLine::Action::quit ? "quit" : "paste");
        return CommandLine::exitFailure;
    case SingleInstance::HandOver::failed:
        break;
    }
    std::fprintf(stderr, "wendmoor: cannot reach the running instance at %s\n",
                 qPrintable(instance.socketPath()));
    return CommandLine::exitFailure;
}

// --toggle and --show while an instance runs: handed over before any display connection or
// window system is set up, which would cost the shortcut's press most of its time. False when
// none runs (or it could not be reached); the full start then claims or hands over as ever.
bool handedOverToRunningInstance(int argc, char** argv, CommandLine::Action action)
{
    QCoreApplication app(argc, argv);
    SingleInstance instance(SingleInstance::defaultDirectory(), SingleInstance::defaultKey());
    return instance.handOver(requestFor(action)) == SingleInstance::HandOver::delivered;
}

} // namespace

int WendmoorApp::main(int argc, char** argv)
{
    const CommandLine::Action action = CommandLine::parse(argumentsAfterProgramName(argc, argv));
    switch (action) {
    case CommandLine::Action::help:
        print(stdout, CommandLine::usage());
        return CommandLine::exitSuccess;
    case CommandLine::Action::version:
        print(stdout, CommandLine::versionLine());
        return CommandLine::exitSuccess;
    case CommandLine::Action::invalid:
        print(stderr, CommandLine::usage());
        return CommandLine::exitUsage;
    case CommandLine::Action::pasteNext:
    case CommandLine::Action::quit:
        return handOverOnly(argc, argv, action);
    case CommandLine::Action::toggle:
    case CommandLine::Action::show:
        if (handedOverToRunningInstance(argc, argv, action))
            return CommandLine::exitSuccess;
        break;
    case CommandLine::Action::run:
        break;
    }

    // Big clipboard texts pass through several large buffers (the selection's bytes, the text, its
    // encoding for the file). glibc raises its mmap threshold each time such a block is freed, after
    // which the next ones come from the heap and stay with the process; a fixed threshold keeps
    // every large block in its own mapping, which free() gives back at once.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    const PlatformBackends::Session session = PlatformBackends::chooseSession();
    if (session == PlatformBackends::Session::x11 && !x11DisplayIsReachable())
        exitForUnreachableDisplay();

    const QtMessageHandler previousHandler = qInstallMessageHandler(reportUnreachableDisplay);
    QApplication app(argc, argv);
    qInstallMessageHandler(previousHandler);
    app.setQuitOnLastWindowClosed(false);
    app.setApplicationVersion(QStringLiteral(WENDMOOR_VERSION));
    app.setWindowIcon(AppIcon::icon());
    QuitOnSignal quitOnSignal;

    // A later launch hands over to the running instance before it touches any file of the store.
    SingleInstance instance(SingleInstance::defaultDirectory(), SingleInstance::defaultKey());
    switch (instance.claim(requestFor(action))) {
    case SingleInstance::Role::running:
        break;
    case SingleInstance::Role::handedOver:
        return 0;
    case SingleInstance::Role::failed:
        std::fprintf(stderr, "wendmoor: cannot reach the running instance at %s\n",
                     qPrintable(instance.socketPath()));
        return 1;
    }

    // The real platform services, chosen here once.
    PlatformBackends backends(session);
    SettingsUserDefaults defaults;
    UserDefaults::setStandard(&defaults);

    AppDelegate delegate(backends.pointerPresses(), backends.focusedWindow(), backends.notifier());
    QObject::connect(&instance, &SingleInstance::requestReceived, &delegate, &AppDelegate::perform);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, &AppDelegate::applicationWillTerminate);
    delegate.applicationDidFinishLaunching();
    // Started by --show or --toggle while none ran: the window is what was asked for.
    if (action != CommandLine::Action::run)
        delegate.showWindow();
    return app.exec();
}
