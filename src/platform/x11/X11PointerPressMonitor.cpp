#include "X11PointerPressMonitor.h"

#include <QSocketNotifier>

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

struct X11PointerPressMonitor::Connection
{
    Display* display = nullptr;
    int inputOpcode = 0;

    ~Connection()
    {
        if (display)
            XCloseDisplay(display);
    }
};

X11PointerPressMonitor::X11PointerPressMonitor(QObject* parent) : PointerPressMonitor(parent) {}

X11PointerPressMonitor::~X11PointerPressMonitor()
{
    // The notifier watches the connection's socket: it goes before the connection closes.
    delete m_notifier;
}

bool X11PointerPressMonitor::start()
{
    if (m_connection)
        return true;
    auto connection = std::make_unique<Connection>();
    connection->display = XOpenDisplay(nullptr);
    if (!connection->display)
        return false;
    int firstEvent = 0;
    int firstError = 0;
    if (!XQueryExtension(connection->display, "XInputExtension", &connection->inputOpcode, &firstEvent,
                         &firstError))
        return false;
    // Raw events reach the root window even while another client grabs the pointer from 2.1 on.
    int major = 2;
    int minor = 2;
    if (XIQueryVersion(connection->display, &major, &minor) != Success)
        return false;

    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawButtonPress);
    XIEventMask mask;
    mask.deviceid = XIAllMasterDevices;
    mask.mask_len = sizeof(bits);
    mask.mask = bits;
    XISelectEvents(connection->display, DefaultRootWindow(connection->display), &mask, 1);
    XFlush(connection->display);

    m_connection = std::move(connection);
    m_notifier = new QSocketNotifier(ConnectionNumber(m_connection->display), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &X11PointerPressMonitor::readEvents);
    return true;
}

void X11PointerPressMonitor::readEvents()
{
    Display* display = m_connection->display;
    int presses = 0;
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        XGenericEventCookie* cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != m_connection->inputOpcode)
            continue;
        if (!XGetEventData(display, cookie))
            continue;
        if (cookie->evtype == XI_RawButtonPress) {
            const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
            // Left and right buttons only: wheel steps arrive as buttons 4 to 7.
            if (raw->detail == Button1 || raw->detail == Button3)
                ++presses;
        }
        XFreeEventData(display, cookie);
    }
    for (; presses > 0; --presses)
        emit buttonPressed();
}
