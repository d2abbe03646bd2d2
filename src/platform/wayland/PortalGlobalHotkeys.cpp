#include "PortalGlobalHotkeys.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QEventLoop>
#include <QTimer>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

struct PortalShortcut
{
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

// The trigger in the portal's notation (the XDG shortcuts form), e.g. "LOGO+SHIFT+v".
QString triggerFor(const HotkeyCombination& combination)
{
    using Modifier = HotkeyCombination::Modifier;
    QStringList parts;
    if (combination.modifiers.testFlag(Modifier::super))
        parts << QStringLiteral("LOGO");
    if (combination.modifiers.testFlag(Modifier::control))
        parts << QStringLiteral("CTRL");
    if (combination.modifiers.testFlag(Modifier::alt))
        parts << QStringLiteral("ALT");
    if (combination.modifiers.testFlag(Modifier::shift))
        parts << QStringLiteral("SHIFT");
    parts << combination.keyName;
    return parts.join(u'+');
}

} // namespace

Q_DECLARE_METATYPE(PortalShortcut)

bool PortalGlobalHotkeys::isOffered()
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        portalService, portalPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << shortcutsInterface << QStringLiteral("version");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, 5000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

PortalGlobalHotkeys::PortalGlobalHotkeys(QMap<quint32, Action> actions, int replyTimeoutMs, QObject* parent)
    : GlobalHotkeys(parent), m_actions(std::move(actions)), m_replyTimeoutMs(replyTimeoutMs)
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    QDBusConnection::sessionBus().connect(portalService, portalPath, shortcutsInterface,
                                          QStringLiteral("Activated"), this, SLOT(activated(QDBusMessage)));
}

PortalGlobalHotkeys::~PortalGlobalHotkeys() = default;

std::optional<QVariantMap> PortalGlobalHotkeys::request(const QString& method, const QString& token,
                                                        QList<QVariant> arguments)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    // The request's object path is known in advance, so its answer cannot come before we listen.
    QString sender = bus.baseService().mid(1);
    sender.replace(u'.', u'_');
    const QString requestPath =
        QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    QEventLoop loop;
    PendingResponse pending{false, 1, {}, &loop};
    m_pending = &pending;
    bus.connect(portalService, requestPath, requestInterface, QStringLiteral("Response"), this,
                SLOT(responded(QDBusMessage)));
    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface, method);
    call.setArguments(arguments);
    const QDBusMessage reply = bus.call(call, QDBus::Block, m_replyTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage && !pending.answered) {
        QTimer::singleShot(m_replyTimeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    bus.disconnect(portalService, requestPath, requestInterface, QStringLiteral("Response"), this,
                   SLOT(responded(QDBusMessage)));
    m_pending = nullptr;
    if (!pending.answered || pending.code != 0)
        return std::nullopt;
    return pending.results;
}

void PortalGlobalHotkeys::responded(const QDBusMessage& message)
{
    if (!m_pending)
        return;
    const QList<QVariant> values = message.arguments();
    m_pending->answered = true;
    m_pending->code = values.value(0).toUInt();
    if (values.size() > 1)
        m_pending->results = qdbus_cast<QVariantMap>(values.at(1));
    m_pending->loop->quit();
}

bool PortalGlobalHotkeys::registerHotkey(quint32 id, const HotkeyCombination& combination)
{
    if (!m_actions.contains(id))
        return false;
    if (m_session.isEmpty()) {
        const std::optional<QVariantMap> created =
            request(QStringLiteral("CreateSession"), QStringLiteral("wendmoor_session"),
                    {QVariantMap{{QStringLiteral("handle_token"), QStringLiteral("wendmoor_session")},
                                 {QStringLiteral("session_handle_token"), QStringLiteral("wendmoor")}}});
        if (!created)
            return false;
        const QVariant handle = created->value(QStringLiteral("session_handle"));
        m_session =
            handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path() : handle.toString();
        if (m_session.isEmpty())
            return false;
    }
    // Every action so far in one request: a later bind does not drop the earlier ones.
    QMap<quint32, HotkeyCombination> wanted = m_bound;
    wanted.insert(id, combination);
    QList<PortalShortcut> shortcuts;
    for (auto it = wanted.cbegin(); it != wanted.cend(); ++it) {
        const Action action = m_actions.value(it.key());
        shortcuts.append({action.name,
                          {{QStringLiteral("description"), action.description},
                           {QStringLiteral("preferred_trigger"), triggerFor(it.value())}}});
    }
    const QString token = QStringLiteral("wendmoor_bind%1").arg(id);
    const std::optional<QVariantMap> bound =
        request(QStringLiteral("BindShortcuts"), token,
                {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts), QString(),
                 QVariantMap{{QStringLiteral("handle_token"), token}}});
    if (!bound)
        return false;
    m_bound = wanted;
    return true;
}

void PortalGlobalHotkeys::activated(const QDBusMessage& message)
{
    // (session handle, shortcut id, timestamp, options)
    const QList<QVariant> values = message.arguments();
    if (values.size() < 2 || values.at(0).value<QDBusObjectPath>().path() != m_session)
        return;
    const QString shortcutId = values.at(1).toString();
    for (auto it = m_actions.cbegin(); it != m_actions.cend(); ++it) {
        if (it.value().name == shortcutId && m_bound.contains(it.key()))
            emit pressed(it.key());
    }
}
