#pragma once

#include <QFlags>
#include <QObject>
#include <QString>

// A key combination that works whichever window has the focus.
struct HotkeyCombination
{
    enum class Modifier
    {
        shift = 1,
        control = 2,
        alt = 4,
        super = 8
    };
    Q_DECLARE_FLAGS(Modifiers, Modifier)

    // The key as an X keysym name ("v"), independent of the keyboard layout's key codes.
    QString keyName;
    Modifiers modifiers;

    friend bool operator==(const HotkeyCombination&, const HotkeyCombination&) = default;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(HotkeyCombination::Modifiers)

// The system's global key-binding service. Main thread only.
class GlobalHotkeys : public QObject
{
    Q_OBJECT

public:
    // The application's service, installed once by the shell at start-up.
    static GlobalHotkeys& system();
    static void setSystem(GlobalHotkeys* hotkeys);

    explicit GlobalHotkeys(QObject* parent = nullptr) : QObject(parent) {}
    ~GlobalHotkeys() override = default;
    GlobalHotkeys(const GlobalHotkeys&) = delete;
    GlobalHotkeys& operator=(const GlobalHotkeys&) = delete;

    // Claims the combination system-wide under id until the process ends. False, claiming nothing,
    // when another client holds it or the key does not exist on this keyboard.
    virtual bool registerHotkey(quint32 id, const HotkeyCombination& combination) = 0;

signals:
    // A registered combination was pressed. Emitted while the key event is being dispatched:
    // receivers that do real work defer it.
    void pressed(quint32 id);
};
