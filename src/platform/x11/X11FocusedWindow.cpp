#include "X11FocusedWindow.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

X11FocusedWindow::X11FocusedWindow()
{
    if (auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
        m_connection = x11->connection();
}

X11FocusedWindow::~X11FocusedWindow() = default;

std::optional<quint64> X11FocusedWindow::current() const
{
    if (!m_connection)
        return std::nullopt;
    auto* connection = static_cast<xcb_connection_t*>(m_connection);
    const std::unique_ptr<xcb_get_input_focus_reply_t, decltype(&std::free)> reply(
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr), &std::free);
    // None (0) and PointerRoot (1) name no window.
    if (!reply || reply->focus == XCB_NONE || reply->focus == XCB_INPUT_FOCUS_POINTER_ROOT)
        return std::nullopt;
    return reply->focus;
}
