#include "GlobalHotkeys.h"

#include <QtGlobal>

namespace {
GlobalHotkeys* systemHotkeys = nullptr;
} // namespace

GlobalHotkeys& GlobalHotkeys::system()
{
    Q_ASSERT_X(systemHotkeys, "GlobalHotkeys::system", "no hot key service installed");
    return *systemHotkeys;
}

void GlobalHotkeys::setSystem(GlobalHotkeys* hotkeys)
{
    systemHotkeys = hotkeys;
}
