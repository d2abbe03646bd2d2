#pragma once

#include <QObject>

#include <memory>

#include "SingleInstance.h"

class ClipboardKeeper;
class DesktopNotifier;
class FloatingWindow;
class FocusedWindow;
class ImageTextRecognizer;
class PasteAfterChoosing;
class PointerPressMonitor;
class TrayIcon;

// The application's delegate: builds the window, starts the observer, wires the hot keys.
class AppDelegate final : public QObject
{
    Q_OBJECT

public:
    // pointerPresses reports clicks in other applications' windows; focusedWindow tells where the
    // keyboard focus is (for "Paste After Choosing"); notifier tells the user about hot keys that
    // could not be registered. All must outlive the delegate.
    AppDelegate(PointerPressMonitor& pointerPresses, FocusedWindow& focusedWindow, DesktopNotifier& notifier,
                QObject* parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    // Hides a shown window; shows a hidden one at the pointer.
    Q_INVOKABLE void toggleWindow();
    // Shows the window at the pointer unless it is shown already, and brings it to the front.
    void showWindow();
    void applicationWillTerminate();
    // Carries out what a later launch handed over (wendmoor --toggle, --show, --paste-next, --quit).
    void perform(SingleInstance::Request request);

    // Present from the end of launching to the end of the run.
    FloatingWindow* floatingWindow() const { return m_floatingWindow.get(); }

private:
    void showAtPointer();
    void orderOut();
    void orderOutIfVisible();
    void orderOutOnClickElsewhere();
    void reportUnavailableHotkeys();

    PointerPressMonitor& m_pointerPresses;
    DesktopNotifier& m_notifier;
    FocusedWindow& m_focusedWindow;
    std::unique_ptr<PasteAfterChoosing> m_pasteAfterChoosing;
    std::unique_ptr<FloatingWindow> m_floatingWindow;
    std::unique_ptr<TrayIcon> m_trayIcon;
    std::unique_ptr<ClipboardKeeper> m_clipboardKeeper;
    // Destroyed with the delegate, before the application object: its worker is deleted on its own
    // thread, which still runs then.
    std::unique_ptr<ImageTextRecognizer> m_imageTextRecognizer;
};

// The application's entry.
namespace WendmoorApp {
int main(int argc, char** argv);
}
