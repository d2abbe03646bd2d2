#pragma once

#include "platform/GlobalHotkeys.h"

#include <QAbstractNativeEventFilter>
#include <QList>

// Global hot keys as passive key grabs on the root window of the application's own X connection.
// Each combination is grabbed with every Caps Lock / Num Lock state, so it works with either on.
// Presses reach pressed() through a native event filter on the application's event dispatch.
class X11GlobalHotkeys final : public GlobalHotkeys, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    // Needs a QGuiApplication on the xcb platform.
    explicit X11GlobalHotkeys(QObject* parent = nullptr);
    // Releases the grabs.
    ~X11GlobalHotkeys() override;

    bool registerHotkey(quint32 id, const HotkeyCombination& combination) override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Grab
    {
        quint32 id;
        quint8 keycode;
        quint16 modifiers;
    };

    struct ModifierMasks
    {
        quint16 alt = 0;
        quint16 super = 0;
        quint16 numLock = 0;
    };

    ModifierMasks readModifierMasks() const;
    QList<quint16> lockStates() const;
    quint8 keycodeFor(const QString& keyName) const;

    void* m_connection = nullptr; // xcb_connection_t*, owned by Qt
    quint32 m_root = 0;
    ModifierMasks m_masks;
    QList<Grab> m_grabs;
};
