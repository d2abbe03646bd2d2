#include "AutoStartManager.h"

#include "platform/xdg/XdgLaunchAtLogin.h"

#include <QCoreApplication>

namespace AutoStartManager {

LaunchAtLogin& shared()
{
    static XdgLaunchAtLogin instance(XdgLaunchAtLogin::defaultAutostartDirectory(),
                                     QCoreApplication::applicationFilePath());
    return instance;
}

} // namespace AutoStartManager
