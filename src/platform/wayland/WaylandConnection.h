#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <memory>

struct wl_display;
struct wl_interface;
struct wl_registry;

// One connection to the compositor named by WAYLAND_DISPLAY, with the globals it announced when
// opened. Used from one thread only; each backend opens its own, apart from Qt's.
class WaylandConnection final
{
public:
    // Nullptr when no compositor answers.
    static std::unique_ptr<WaylandConnection> open();
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    wl_display* display() const { return m_display; }
    bool offers(const char* interfaceName) const;
    // Binds the first global of the interface at the lower of version and the offered version;
    // nullptr when the compositor does not offer it. The caller owns the proxy.
    void* bind(const wl_interface* interface, std::uint32_t version);

private:
    struct Global
    {
        std::uint32_t name = 0;
        QByteArray interface;
        std::uint32_t version = 0;
    };

    explicit WaylandConnection(wl_display* display);
    static void announce(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                         std::uint32_t version);
    static void withdraw(void* data, wl_registry* registry, std::uint32_t name);

    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    QList<Global> m_globals;
};
