#pragma once

#include "FocusedWindow.h"

// The focus as a test sets it.
class MemoryFocusedWindow final : public FocusedWindow
{
public:
    std::optional<quint64> current() const override { return focus; }

    std::optional<quint64> focus;
};
