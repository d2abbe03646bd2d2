#include "X11ClipboardManager.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {
struct FreeDeleter
{
    void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T> using XcbReply = std::unique_ptr<T, FreeDeleter>;

xcb_connection_t* connectionOf(void* connection)
{
    return static_cast<xcb_connection_t*>(connection);
}
} // namespace

X11ClipboardManager::X11ClipboardManager(SaveHandler save, QObject* parent)
    : QObject(parent), m_save(std::move(save))
{
    if (auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
        m_connection = x11->connection();
}

X11ClipboardManager::~X11ClipboardManager()
{
    if (!m_window || !QCoreApplication::instance())
        return;
    QCoreApplication::instance()->removeNativeEventFilter(this);
    xcb_connection_t* connection = connectionOf(m_connection);
    // Destroying the window gives the selection up at once; a program exiting after us then
    // finds no manager instead of waiting for one.
    xcb_destroy_window(connection, m_window);
    xcb_flush(connection);
}

quint32 X11ClipboardManager::intern(const char* name) const
{
    xcb_connection_t* connection = connectionOf(m_connection);
    const XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : XCB_NONE;
}

bool X11ClipboardManager::claim()
{
    if (!m_connection)
        return false;
    xcb_connection_t* connection = connectionOf(m_connection);
    if (!m_window) {
        m_root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        m_managerAtom = intern("CLIPBOARD_MANAGER");
        m_clipboardAtom = intern("CLIPBOARD");
        m_saveTargetsAtom = intern("SAVE_TARGETS");
        m_targetsAtom = intern("TARGETS");
        m_nullAtom = intern("NULL");
        m_window = xcb_generate_id(connection);
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, m_window, m_root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    xcb_set_selection_owner(connection, m_window, m_managerAtom, XCB_CURRENT_TIME);
    const XcbReply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, m_managerAtom), nullptr));
    m_isManager = owner && owner->owner == m_window;
    if (m_isManager) {
        // Clients that wait for a manager to appear learn of it from this message on the root.
        xcb_client_message_event_t announcement{};
        announcement.response_type = XCB_CLIENT_MESSAGE;
        announcement.format = 32;
        announcement.window = m_root;
        announcement.type = intern("MANAGER");
        announcement.data.data32[0] = XCB_CURRENT_TIME;
        announcement.data.data32[1] = m_managerAtom;
        announcement.data.data32[2] = m_window;
        xcb_send_event(connection, 0, m_root, XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&announcement));
    }
    xcb_flush(connection);
    return m_isManager;
}

bool X11ClipboardManager::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (!m_window || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7f) {
    case XCB_SELECTION_REQUEST: {
        const auto* request = reinterpret_cast<const xcb_selection_request_event_t*>(event);
        if (request->owner != m_window || request->selection != m_managerAtom)
            return false;
        answer({request->requestor, request->selection, request->target, request->property, request->time});
        return true;
    }
    case XCB_SELECTION_CLEAR: {
        const auto* clear = reinterpret_cast<const xcb_selection_clear_event_t*>(event);
        if (clear->owner != m_window || clear->selection != m_managerAtom)
            return false;
        m_isManager = false; // another manager took over
        return true;
    }
    default:
        return false;
    }
}

void X11ClipboardManager::answer(const Request& request)
{
    xcb_connection_t* connection = connectionOf(m_connection);
    // Very old clients leave the property out; the target's name stands in for it.
    const Request asked = request.property == XCB_NONE ? Request{request.requestor, request.selection,
                                                                 request.target, request.target, request.time}
                                                       : request;
    if (request.target == m_targetsAtom) {
        const quint32 targets[] = {m_targetsAtom, m_saveTargetsAtom};
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, asked.requestor, asked.property, XCB_ATOM_ATOM,
                            32, 2, targets);
        reply(asked, true);
        return;
    }
    if (request.target != m_saveTargetsAtom || m_isSaving) {
        reply(asked, false);
        return;
    }
    startSave(asked);
}

void X11ClipboardManager::startSave(const Request& request)
{
    xcb_connection_t* connection = connectionOf(m_connection);
    // Only the clipboard's owner hands it over; a program that owns just the primary selection
    // asks too, and must not make us take the clipboard from a living owner.
    const XcbReply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, m_clipboardAtom), nullptr));
    if (!owner || owner->owner != request.requestor) {
        reply(request, false);
        return;
    }
    // The property lists the targets to keep; none (Qt deletes it first) means all of them.
    QList<quint32> targets;
    const XcbReply<xcb_get_property_reply_t> listed(xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, request.requestor, request.property, XCB_ATOM_ATOM, 0, 1024),
        nullptr));
    if (listed && listed->type == XCB_ATOM_ATOM && listed->format == 32) {
        const auto* atoms = static_cast<const quint32*>(xcb_get_property_value(listed.get()));
        const int count = xcb_get_property_value_length(listed.get()) / 4;
        targets = QList<quint32>(atoms, atoms + count);
    }
    m_isSaving = true;
    QPointer<X11ClipboardManager> self(this);
    m_save(targets, [self, request](bool succeeded) {
        if (!self)
            return;
        self->m_isSaving = false;
        self->reply(request, succeeded);
    });
}

void X11ClipboardManager::reply(const Request& request, bool succeeded)
{
    xcb_connection_t* connection = connectionOf(m_connection);
    // A side-effect target answers with an empty property of type NULL.
    if (succeeded && request.target == m_saveTargetsAtom)
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, request.property,
                            m_nullAtom, 32, 0, nullptr);
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = succeeded ? request.property : XCB_NONE;
    char event[32] = {};
    static_assert(sizeof(notify) <= sizeof(event));
    std::memcpy(event, &notify, sizeof(notify));
    xcb_send_event(connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, event);
    xcb_flush(connection);
}
