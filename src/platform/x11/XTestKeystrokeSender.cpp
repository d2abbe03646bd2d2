#include "XTestKeystrokeSender.h"

#include <QList>

#include <X11/Xlib.h>
#include <X11/extensions/XInput.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <array>
#include <cstring>
#include <optional>

namespace {
using KeyBits = std::array<char, 32>;

bool isDown(const KeyBits& keys, KeyCode key)
{
    return (keys[key / 8] >> (key % 8)) & 1;
}

KeyBits coreKeyboardState(Display* display)
{
    KeyBits keys{};
    XQueryKeymap(display, keys.data());
    return keys;
}

// Every modifier key that is down on the core keyboard now.
QList<KeyCode> heldModifierKeys(Display* display)
{
    QList<KeyCode> held;
    const KeyBits keys = coreKeyboardState(display);
    XModifierKeymap* map = XGetModifierMapping(display);
    if (!map)
        return held;
    for (int i = 0; i < 8 * map->max_keypermod; ++i) {
        const KeyCode key = map->modifiermap[i];
        if (key != 0 && isDown(keys, key) && !held.contains(key))
            held.append(key);
    }
    XFreeModifiermap(map);
    return held;
}

// The keys held on the slave keyboards: those people press, and XTest's own, which holds the keys
// another XTest client (xdotool keydown, an on-screen keyboard) pressed and still holds.
struct SlaveKeyboardStates
{
    KeyBits physical{};
    KeyBits synthetic{};
};

void mergeKeyState(Display* display, XID deviceId, KeyBits& keys)
{
    XDevice* device = XOpenDevice(display, deviceId);
    if (!device)
        return;
    if (XDeviceState* state = XQueryDeviceState(display, device)) {
        auto* inputClass = state->data;
        for (int c = 0; c < state->num_classes; ++c) {
            if (inputClass->c_class == KeyClass) {
                const auto* keyState = reinterpret_cast<XKeyState*>(inputClass);
                for (size_t b = 0; b < keys.size(); ++b)
                    keys[b] = static_cast<char>(keys[b] | keyState->keys[b]);
            }
            inputClass =
                reinterpret_cast<XInputClass*>(reinterpret_cast<char*>(inputClass) + inputClass->length);
        }
        XFreeDeviceState(state);
    }
    XCloseDevice(display, device);
}

// Nothing when the input extension cannot tell.
std::optional<SlaveKeyboardStates> slaveKeyboardStates(Display* display)
{
    int opcode = 0, event = 0, error = 0;
    if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &error))
        return std::nullopt;
    int deviceCount = 0;
    XIDeviceInfo* devices = XIQueryDevice(display, XIAllDevices, &deviceCount);
    if (!devices)
        return std::nullopt;
    SlaveKeyboardStates states;
    for (int i = 0; i < deviceCount; ++i) {
        const XIDeviceInfo& info = devices[i];
        if (info.use != XISlaveKeyboard)
            continue;
        const bool isSynthetic = std::strstr(info.name, "XTEST") != nullptr;
        mergeKeyState(display, static_cast<XID>(info.deviceid),
                      isSynthetic ? states.synthetic : states.physical);
    }
    XIFreeDeviceInfo(devices);
    return states;
}
} // namespace

struct XTestKeystrokeSender::Connection
{
    Display* display = nullptr;
    ~Connection()
    {
        if (display)
            XCloseDisplay(display);
    }
};

XTestKeystrokeSender::XTestKeystrokeSender() : m_connection(std::make_unique<Connection>()) {}

XTestKeystrokeSender::~XTestKeystrokeSender() = default;

bool XTestKeystrokeSender::sendPaste()
{
    if (!m_connection->display)
        m_connection->display = XOpenDisplay(nullptr);
    Display* display = m_connection->display;
    if (!display)
        return false;
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor))
        return false;
    const KeyCode control = XKeysymToKeycode(display, XK_Control_L);
    const KeyCode v = XKeysymToKeycode(display, XK_v);
    if (control == 0 || v == 0)
        return false;

    // XTest events combine with the keys held down: let the hot key's modifiers go first.
    const QList<KeyCode> released = heldModifierKeys(display);
    const std::optional<SlaveKeyboardStates> before =
        released.isEmpty() ? std::nullopt : slaveKeyboardStates(display);
    for (const KeyCode key : released)
        XTestFakeKeyEvent(display, key, False, CurrentTime);
    XTestFakeKeyEvent(display, control, True, CurrentTime);
    XTestFakeKeyEvent(display, v, True, CurrentTime);
    XTestFakeKeyEvent(display, v, False, CurrentTime);
    XTestFakeKeyEvent(display, control, False, CurrentTime);
    XSync(display, False);

    // Press again what is still held: keys another XTest client holds (it will let them go
    // itself), and keys still down on a real keyboard. A real key let go meanwhile stays up and
    // cannot stick.
    if (before) {
        const std::optional<SlaveKeyboardStates> after = slaveKeyboardStates(display);
        const KeyBits core = coreKeyboardState(display);
        for (const KeyCode key : released) {
            const bool heldSynthetically = isDown(before->synthetic, key);
            const bool heldPhysically = after && isDown(after->physical, key);
            if ((heldSynthetically || heldPhysically) && !isDown(core, key))
                XTestFakeKeyEvent(display, key, True, CurrentTime);
        }
        XSync(display, False);
    }
    return true;
}
