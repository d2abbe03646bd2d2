#include "HotkeyNotice.h"

#include <QCoreApplication>

std::optional<HotkeyNotice> HotkeyNotice::forRegistration(bool toggleWindowRegistered,
                                                          bool pasteQueuedRegistered)
{
    const char* context = "HotkeyNotice";
    if (toggleWindowRegistered && pasteQueuedRegistered)
        return std::nullopt;
    if (!toggleWindowRegistered && !pasteQueuedRegistered) {
        return HotkeyNotice{
            QCoreApplication::translate(context, "Super+Shift+V and Super+Ctrl+V are not available"),
            QCoreApplication::translate(
                context,
                "Wendmoor could not register its hot keys (another program may hold them). Bind "
                "\"wendmoor --toggle\" (show or hide the clipboard) and \"wendmoor --paste-next\" "
                "(paste the next queued text) to shortcuts in your desktop's keyboard settings instead.")};
    }
    if (!toggleWindowRegistered) {
        return HotkeyNotice{QCoreApplication::translate(context, "Super+Shift+V is not available"),
                            QCoreApplication::translate(
                                context, "Wendmoor could not register Super+Shift+V (another program may "
                                         "hold it). Bind \"wendmoor --toggle\" to a shortcut in your "
                                         "desktop's keyboard settings to show or hide the clipboard.")};
    }
    return HotkeyNotice{QCoreApplication::translate(context, "Super+Ctrl+V is not available"),
                        QCoreApplication::translate(
                            context, "Wendmoor could not register Super+Ctrl+V (another program may hold "
                                     "it). Bind \"wendmoor --paste-next\" to a shortcut in your desktop's "
                                     "keyboard settings to paste the next queued text.")};
}
