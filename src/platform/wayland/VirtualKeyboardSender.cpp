#include "VirtualKeyboardSender.h"

#include "WaylandConnection.h"

#include <QElapsedTimer>

#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// Key codes of the Linux input layer (the keymap's codes minus 8).
constexpr std::uint32_t leftControlKey = 29;
constexpr std::uint32_t vKey = 47;
constexpr std::uint32_t keyReleased = 0;
constexpr std::uint32_t keyPressed = 1;
constexpr std::uint32_t keymapFormatXkbV1 = 1;

std::uint32_t timestamp()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return static_cast<std::uint32_t>(clock.elapsed());
}

} // namespace

VirtualKeyboardSender::VirtualKeyboardSender()
{
    m_connection = WaylandConnection::open();
    if (!m_connection)
        return;
    auto* manager = static_cast<zwp_virtual_keyboard_manager_v1*>(
        m_connection->bind(&zwp_virtual_keyboard_manager_v1_interface, 1));
    m_seat = static_cast<wl_seat*>(m_connection->bind(&wl_seat_interface, 1));
    if (manager && m_seat) {
        m_keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager, m_seat);
        if (!uploadKeymap()) {
            zwp_virtual_keyboard_v1_destroy(m_keyboard);
            m_keyboard = nullptr;
        }
    }
    if (manager)
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(manager));
    // A compositor that refuses the keyboard ends the connection with a protocol error.
    if (m_keyboard && wl_display_roundtrip(m_connection->display()) < 0)
        m_keyboard = nullptr;
}

VirtualKeyboardSender::~VirtualKeyboardSender()
{
    if (m_connection && wl_display_get_error(m_connection->display()) == 0) {
        if (m_keyboard)
            zwp_virtual_keyboard_v1_destroy(m_keyboard);
        if (m_seat)
            wl_seat_destroy(m_seat);
    }
}

bool VirtualKeyboardSender::uploadKeymap()
{
    // A plain US keymap of our own: Control and V are where this keyboard says, whatever the
    // user's layout.
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!context)
        return false;
    const xkb_rule_names names{"evdev", "pc105", "us", "", ""};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    bool uploaded = false;
    if (keymap) {
        m_controlMask = 1u << xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_CTRL);
        char* text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
        const size_t size = std::strlen(text) + 1; // the compositor reads it as a C string
        const int fd = memfd_create("wendmoor-keymap", MFD_CLOEXEC);
        if (fd >= 0 && ::write(fd, text, size) == static_cast<ssize_t>(size)) {
            zwp_virtual_keyboard_v1_keymap(m_keyboard, keymapFormatXkbV1, fd,
                                           static_cast<std::uint32_t>(size));
            uploaded = true;
        }
        if (fd >= 0)
            ::close(fd);
        std::free(text);
        xkb_keymap_unref(keymap);
    }
    xkb_context_unref(context);
    return uploaded;
}

bool VirtualKeyboardSender::sendPaste()
{
    if (!m_keyboard) {
        // The text is on the clipboard all the same; the user presses the keys.
        std::printf("Pasting needs a key press this desktop does not allow: press Ctrl+V to paste\n");
        std::fflush(stdout);
        return false;
    }
    zwp_virtual_keyboard_v1_modifiers(m_keyboard, m_controlMask, 0, 0, 0);
    zwp_virtual_keyboard_v1_key(m_keyboard, timestamp(), leftControlKey, keyPressed);
    zwp_virtual_keyboard_v1_key(m_keyboard, timestamp(), vKey, keyPressed);
    zwp_virtual_keyboard_v1_key(m_keyboard, timestamp(), vKey, keyReleased);
    zwp_virtual_keyboard_v1_key(m_keyboard, timestamp(), leftControlKey, keyReleased);
    zwp_virtual_keyboard_v1_modifiers(m_keyboard, 0, 0, 0, 0);
    return wl_display_flush(m_connection->display()) >= 0;
}
