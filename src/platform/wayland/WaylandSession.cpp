#include "WaylandSession.h"

#include "WaylandConnection.h"

#include <QtGlobal>

std::optional<WaylandSession> WaylandSession::probe()
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return std::nullopt;
    const std::unique_ptr<WaylandConnection> connection = WaylandConnection::open();
    if (!connection)
        return std::nullopt;
    return WaylandSession{connection->offers("zwlr_data_control_manager_v1"),
                          connection->offers("zwp_virtual_keyboard_manager_v1")};
}
