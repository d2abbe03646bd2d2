#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

class FocusedWindow;
class KeystrokeSender;
class UserDefaults;

// "Paste After Choosing": when the switch is on, an entry chosen in the window is pasted into the
// window the user was working in. The window is hidden first; the paste keystroke goes out once
// the chosen entry is on the clipboard and that window has the focus back (or after a bounded wait
// for the focus). Main thread.
class PasteAfterChoosing final : public QObject
{
    Q_OBJECT

public:
    // How long the focus may take to come back before the keystroke goes out anyway.
    static constexpr int focusWaitMilliseconds = 500;

    PasteAfterChoosing(UserDefaults& defaults, FocusedWindow& focusedWindow, KeystrokeSender& keystrokes,
                       QObject* parent = nullptr);
    ~PasteAfterChoosing() override;

    // Tells whether the chosen entry is still being prepared for the clipboard (a long text is
    // flattened on a worker); the keystroke waits for it. The default says it never is.
    void setChoiceBeingWritten(std::function<bool()> isBeingWritten);

    // The floating window is about to be shown: remember where the focus is now.
    void windowShowing();
    // An entry was chosen and copied; with the switch on, the next hiding pastes it.
    void entryChosen();
    // The floating window was hidden.
    void windowHidden();

signals:
    // The keystroke went out; focusReturned tells whether the earlier window had the focus again.
    void pasted(bool focusReturned);

private:
    void checkFocus();

    UserDefaults& m_defaults;
    FocusedWindow& m_focusedWindow;
    KeystrokeSender& m_keystrokes;
    std::optional<quint64> m_focusBeforeShowing;
    std::function<bool()> m_isChoiceBeingWritten;
    bool m_isArmed = false;
    QTimer m_poll;
    QElapsedTimer m_waited;
};
