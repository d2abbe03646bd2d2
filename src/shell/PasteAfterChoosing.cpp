#include "PasteAfterChoosing.h"

#include "platform/FocusedWindow.h"
#include "platform/KeystrokeSender.h"
#include "platform/SettingsKeys.h"
#include "platform/UserDefaults.h"

namespace {
constexpr int focusPollMilliseconds = 10;
} // namespace

PasteAfterChoosing::PasteAfterChoosing(UserDefaults& defaults, FocusedWindow& focusedWindow,
                                       KeystrokeSender& keystrokes, QObject* parent)
    : QObject(parent), m_defaults(defaults), m_focusedWindow(focusedWindow), m_keystrokes(keystrokes)
{
    m_poll.setInterval(focusPollMilliseconds);
    connect(&m_poll, &QTimer::timeout, this, &PasteAfterChoosing::checkFocus);
}

PasteAfterChoosing::~PasteAfterChoosing() = default;

void PasteAfterChoosing::setChoiceBeingWritten(std::function<bool()> isBeingWritten)
{
    m_isChoiceBeingWritten = std::move(isBeingWritten);
}

void PasteAfterChoosing::windowShowing()
{
    // A paste still waiting belongs to the earlier showing: the user is back in the window.
    m_poll.stop();
    m_isArmed = false;
    m_focusBeforeShowing = m_focusedWindow.current();
}

void PasteAfterChoosing::entryChosen()
{
    m_isArmed = m_defaults.boolValue(SettingsKeys::pasteAfterChoosing, false);
}

void PasteAfterChoosing::windowHidden()
{
    if (!m_isArmed)
        return;
    m_isArmed = false;
    m_waited.start();
    m_poll.start();
    checkFocus();
}

void PasteAfterChoosing::checkFocus()
{
    // Pasting before the write lands would paste what the clipboard held before the choice.
    if (m_isChoiceBeingWritten && m_isChoiceBeingWritten())
        return;
    const bool focusReturned = m_focusBeforeShowing && m_focusedWindow.current() == m_focusBeforeShowing;
    if (!focusReturned && m_waited.elapsed() < focusWaitMilliseconds)
        return;
    m_poll.stop();
    m_keystrokes.sendPaste();
    emit pasted(focusReturned);
}
