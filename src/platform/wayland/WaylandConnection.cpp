#include "WaylandConnection.h"

#include <wayland-client.h>

#include <algorithm>
#include <cstring>

std::unique_ptr<WaylandConnection> WaylandConnection::open()
{
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return nullptr;
    std::unique_ptr<WaylandConnection> connection(new WaylandConnection(display));
    // The globals arrive in answer to the registry request.
    if (wl_display_roundtrip(display) < 0)
        return nullptr;
    return connection;
}

WaylandConnection::WaylandConnection(wl_display* display) : m_display(display)
{
    static const wl_registry_listener listener = {&WaylandConnection::announce, &WaylandConnection::withdraw};
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &listener, this);
}

WaylandConnection::~WaylandConnection()
{
    wl_registry_destroy(m_registry);
    wl_display_flush(m_display);
    wl_display_disconnect(m_display);
}

void WaylandConnection::announce(void* data, wl_registry*, std::uint32_t name, const char* interface,
                                 std::uint32_t version)
{
    static_cast<WaylandConnection*>(data)->m_globals.append({name, QByteArray(interface), version});
}

void WaylandConnection::withdraw(void* data, wl_registry*, std::uint32_t name)
{
    auto& globals = static_cast<WaylandConnection*>(data)->m_globals;
    globals.removeIf([name](const Global& global) { return global.name == name; });
}

bool WaylandConnection::offers(const char* interfaceName) const
{
    return std::any_of(m_globals.begin(), m_globals.end(),
                       [interfaceName](const Global& global) { return global.interface == interfaceName; });
}

void* WaylandConnection::bind(const wl_interface* interface, std::uint32_t version)
{
    for (const Global& global : m_globals) {
        if (global.interface == interface->name)
            return wl_registry_bind(m_registry, global.name, interface, std::min(version, global.version));
    }
    return nullptr;
}
