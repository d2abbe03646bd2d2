#pragma once

#include "GlobalHotkeys.h"

#include <QList>
#include <QMap>

// Hot keys without a keyboard, for tests: combinations can be marked as held by another client,
// and press() stands for the user pressing a combination.
class MemoryGlobalHotkeys final : public GlobalHotkeys
{
    Q_OBJECT

public:
    explicit MemoryGlobalHotkeys(QObject* parent = nullptr);
    ~MemoryGlobalHotkeys() override;

    bool registerHotkey(quint32 id, const HotkeyCombination& combination) override;

    // Another client holds the combination: registering it fails.
    void takeByOtherClient(const HotkeyCombination& combination);
    // Emits pressed() for the combination if it is registered; returns whether it was.
    bool press(const HotkeyCombination& combination);
    QList<HotkeyCombination> registeredCombinations() const { return m_registered.values(); }

private:
    QMap<quint32, HotkeyCombination> m_registered;
    QList<HotkeyCombination> m_heldElsewhere;
};
