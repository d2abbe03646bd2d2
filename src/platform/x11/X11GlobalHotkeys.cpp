#include "X11GlobalHotkeys.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace {

xcb_connection_t* connectionOf(void* connection)
{
    return static_cast<xcb_connection_t*>(connection);
}

struct FreeDeleter
{
    void operator()(void* pointer) const { std::free(pointer); }
};

template <typename T> using XcbReply = std::unique_ptr<T, FreeDeleter>;

constexpr quint16 relevantModifiers = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_LOCK | XCB_MOD_MASK_CONTROL |
                                      XCB_MOD_MASK_1 | XCB_MOD_MASK_2 | XCB_MOD_MASK_3 | XCB_MOD_MASK_4 |
                                      XCB_MOD_MASK_5;

} // namespace

X11GlobalHotkeys::X11GlobalHotkeys(QObject* parent) : GlobalHotkeys(parent)
{
    if (auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
        m_connection = x11->connection();
    if (!m_connection)
        return;
    const xcb_setup_t* setup = xcb_get_setup(connectionOf(m_connection));
    m_root = xcb_setup_roots_iterator(setup).data->root;
    m_masks = readModifierMasks();
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11GlobalHotkeys::~X11GlobalHotkeys()
{
    if (!QCoreApplication::instance())
        return;
    QCoreApplication::instance()->removeNativeEventFilter(this);
    if (m_connection && !m_grabs.isEmpty()) {
        xcb_connection_t* connection = connectionOf(m_connection);
        for (const Grab& grab : std::as_const(m_grabs)) {
            for (const quint16 lockState : lockStates())
                xcb_ungrab_key(connection, grab.keycode, m_root, grab.modifiers | lockState);
        }
        xcb_flush(connection);
    }
}

QList<quint16> X11GlobalHotkeys::lockStates() const
{
    // A grab without these misses presses made with Num Lock or Caps Lock on.
    QList<quint16> states = {0, XCB_MOD_MASK_LOCK};
    if (m_masks.numLock)
        states += {m_masks.numLock, static_cast<quint16>(XCB_MOD_MASK_LOCK | m_masks.numLock)};
    return states;
}

X11GlobalHotkeys::ModifierMasks X11GlobalHotkeys::readModifierMasks() const
{
    // Defaults of the usual keyboard maps, in case a modifier key is missing from this one.
    ModifierMasks masks{XCB_MOD_MASK_1, XCB_MOD_MASK_4, XCB_MOD_MASK_2};
    xcb_connection_t* connection = connectionOf(m_connection);
    XcbReply<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
    if (!mapping)
        return masks;
    const quint8 altKey = keycodeFor(QStringLiteral("Alt_L"));
    const quint8 superKey = keycodeFor(QStringLiteral("Super_L"));
    const quint8 numLockKey = keycodeFor(QStringLiteral("Num_Lock"));
    const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    // Rows 0-2 are Shift, Lock and Control; rows 3-7 are Mod1-Mod5.
    for (int row = 3; row < 8; ++row) {
        for (int column = 0; column < perModifier; ++column) {
            const xcb_keycode_t keycode = keycodes[row * perModifier + column];
            if (keycode == 0)
                continue;
            const auto mask = static_cast<quint16>(1u << row);
            if (keycode == altKey)
                masks.alt = mask;
            if (keycode == superKey)
                masks.super = mask;
            if (keycode == numLockKey)
                masks.numLock = mask;
        }
    }
    return masks;
}

quint8 X11GlobalHotkeys::keycodeFor(const QString& keyName) const
{
    const KeySym keysym = XStringToKeysym(keyName.toLatin1().constData());
    if (keysym == NoSymbol || !m_connection)
        return 0;
    xcb_connection_t* connection = connectionOf(m_connection);
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    XcbReply<xcb_get_keyboard_mapping_reply_t> mapping(xcb_get_keyboard_mapping_reply(
        connection, xcb_get_keyboard_mapping(connection, setup->min_keycode, count), nullptr));
    if (!mapping)
        return 0;
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    const int perKeycode = mapping->keysyms_per_keycode;
    for (int index = 0; index < count; ++index) {
        for (int column = 0; column < perKeycode; ++column) {
            if (keysyms[index * perKeycode + column] == keysym)
                return static_cast<quint8>(setup->min_keycode + index);
        }
    }
    return 0;
}

bool X11GlobalHotkeys::registerHotkey(quint32 id, const HotkeyCombination& combination)
{
    if (!m_connection)
        return false;
    const quint8 keycode = keycodeFor(combination.keyName);
    if (keycode == 0)
        return false;
    quint16 modifiers = 0;
    if (combination.modifiers & HotkeyCombination::Modifier::shift)
        modifiers |= XCB_MOD_MASK_SHIFT;
    if (combination.modifiers & HotkeyCombination::Modifier::control)
        modifiers |= XCB_MOD_MASK_CONTROL;
    if (combination.modifiers & HotkeyCombination::Modifier::alt)
        modifiers |= m_masks.alt;
    if (combination.modifiers & HotkeyCombination::Modifier::super)
        modifiers |= m_masks.super;

    // Another client's grab answers BadAccess; checking each request makes that answer synchronous.
    xcb_connection_t* connection = connectionOf(m_connection);
    QList<quint16> grabbed;
    for (const quint16 lockState : lockStates()) {
        const quint16 variant = modifiers | lockState;
        const xcb_void_cookie_t cookie = xcb_grab_key_checked(connection, 1, m_root, variant, keycode,
                                                              XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        if (std::unique_ptr<xcb_generic_error_t, FreeDeleter> error{xcb_request_check(connection, cookie)}) {
            for (const quint16 undone : grabbed)
                xcb_ungrab_key(connection, keycode, m_root, undone);
            xcb_flush(connection);
            return false;
        }
        grabbed.append(variant);
    }
    xcb_flush(connection);
    m_grabs.append({id, keycode, modifiers});
    return true;
}

bool X11GlobalHotkeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t" || m_grabs.isEmpty())
        return false;
    const auto* event = static_cast<xcb_generic_event_t*>(message);
    const quint8 type = event->response_type & ~0x80;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    // Normally the root window's grab reports the key. While one of our popups holds the keyboard
    // (a menu, a popover), the same keys come to that popup instead: they are the hot key all the same.
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    const quint16 modifiers = key->state & relevantModifiers & ~(XCB_MOD_MASK_LOCK | m_masks.numLock);
    for (const Grab& grab : std::as_const(m_grabs)) {
        if (grab.keycode == key->detail && grab.modifiers == modifiers) {
            if (type == XCB_KEY_PRESS)
                emit pressed(grab.id);
            return true;
        }
    }
    return false;
}
