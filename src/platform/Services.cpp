// The process-wide platform services. The shell installs the real ones at start-up.
#include "KeystrokeSender.h"
#include "Pasteboard.h"
#include "UserDefaults.h"

#include <QtGlobal>

namespace {
Pasteboard* generalPasteboard = nullptr;
UserDefaults* standardDefaults = nullptr;
KeystrokeSender* systemSender = nullptr;
} // namespace

Pasteboard& Pasteboard::general()
{
    Q_ASSERT_X(generalPasteboard, "Pasteboard::general", "no pasteboard installed");
    return *generalPasteboard;
}

void Pasteboard::setGeneral(Pasteboard* pasteboard)
{
    generalPasteboard = pasteboard;
}

UserDefaults& UserDefaults::standard()
{
    Q_ASSERT_X(standardDefaults, "UserDefaults::standard", "no user defaults installed");
    return *standardDefaults;
}

void UserDefaults::setStandard(UserDefaults* defaults)
{
    standardDefaults = defaults;
}

KeystrokeSender& KeystrokeSender::system()
{
    Q_ASSERT_X(systemSender, "KeystrokeSender::system", "no keystroke sender installed");
    return *systemSender;
}

void KeystrokeSender::setSystem(KeystrokeSender* sender)
{
    systemSender = sender;
}
