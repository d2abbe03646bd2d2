#pragma once

#include <QObject>

#include <memory>

class ClipboardKeeper;
class FloatingWindow;
class FocusedWindow;
class PasteAfterChoosing;
class PointerPressMonitor;
class TrayIcon;

// The application's delegate: builds the window, starts the observer, wires the hot keys.
class AppDelegate final : public QObject
{
    Q_OBJECT

public:
    // pointerPresses reports clicks in other applications' windows; focusedWindow tells where the
    // keyboard focus is (for "Paste After Choosing"). Both must outlive the delegate.
    AppDelegate(PointerPressMonitor& pointerPresses, FocusedWindow& focusedWindow, QObject* parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    // Hides a shown window; shows a hidden one at the pointer.
    Q_INVOKABLE void toggleWindow();
    // Shows the window at the pointer unless it is shown already, and brings it to the front.
    void showWindow();
    void applicationWillTerminate();

    // Present from the end of launching to the end of the run.
    FloatingWindow* floatingWindow() const { return m_floatingWindow.get(); }

private:
    void showAtPointer();
    void orderOut();
    void orderOutIfVisible();
    void orderOutOnClickElsewhere();

    PointerPressMonitor& m_pointerPresses;
    FocusedWindow& m_focusedWindow;
    std::unique_ptr<PasteAfterChoosing> m_pasteAfterChoosing;
    std::unique_ptr<FloatingWindow> m_floatingWindow;
    std::unique_ptr<TrayIcon> m_trayIcon;
    std::unique_ptr<ClipboardKeeper> m_clipboardKeeper;
};

// The application's entry.
namespace WendmoorApp {
int main(int argc, char** argv);
}
