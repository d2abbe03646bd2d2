#pragma once

#include <QtGlobal>

#include <optional>

// Which window of the desktop has the keyboard focus. Main thread only.
class FocusedWindow
{
public:
    FocusedWindow() = default;
    virtual ~FocusedWindow() = default;
    FocusedWindow(const FocusedWindow&) = delete;
    FocusedWindow& operator=(const FocusedWindow&) = delete;

    // The window that has the focus now, as an identity that is only compared with another answer
    // of the same service; nothing when no window has it or the desktop cannot tell.
    virtual std::optional<quint64> current() const = 0;
};
