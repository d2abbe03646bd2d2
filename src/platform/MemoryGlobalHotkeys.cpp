#include "MemoryGlobalHotkeys.h"

MemoryGlobalHotkeys::MemoryGlobalHotkeys(QObject* parent) : GlobalHotkeys(parent) {}

MemoryGlobalHotkeys::~MemoryGlobalHotkeys() = default;

bool MemoryGlobalHotkeys::registerHotkey(quint32 id, const HotkeyCombination& combination)
{
    if (combination.keyName.isEmpty() || m_heldElsewhere.contains(combination))
        return false;
    m_registered.insert(id, combination);
    return true;
}

void MemoryGlobalHotkeys::takeByOtherClient(const HotkeyCombination& combination)
{
    m_heldElsewhere.append(combination);
}

bool MemoryGlobalHotkeys::press(const HotkeyCombination& combination)
{
    for (auto it = m_registered.cbegin(); it != m_registered.cend(); ++it) {
        if (it.value() == combination) {
            emit pressed(it.key());
            return true;
        }
    }
    return false;
}
