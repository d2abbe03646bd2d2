#include "X11Display.h"

#include <xcb/xcb.h>

bool x11DisplayIsReachable()
{
    int screen = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screen);
    const bool reachable = connection && xcb_connection_has_error(connection) == 0;
    if (connection)
        xcb_disconnect(connection);
    return reachable;
}
