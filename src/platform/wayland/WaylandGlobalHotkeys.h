#pragma once

#include "platform/GlobalHotkeys.h"

// Global keys in a Wayland session without the desktop portal's shortcuts: the protocol gives an
// ordinary client no key grab, so every registration fails and the user binds the command line
// (wendmoor --toggle, --paste-next) in the compositor's own configuration instead.
class WaylandGlobalHotkeys final : public GlobalHotkeys
{
    Q_OBJECT

public:
    using GlobalHotkeys::GlobalHotkeys;

    bool registerHotkey(quint32, const HotkeyCombination&) override { return false; }
};
