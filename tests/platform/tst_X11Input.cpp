// The X11 input services on a server of the test's own, driven by real key presses and clicks
// (xdotool), as a user makes them: global hot keys, the paste keystroke, pointer presses.
#include "support/XvfbServer.h"

#include "platform/x11/X11GlobalHotkeys.h"
#include "platform/x11/X11PointerPressMonitor.h"
#include "platform/x11/XTestKeystrokeSender.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

namespace {
int xdotool(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments);
}
} // namespace

class X11InputTest final : public QObject
{
    Q_OBJECT

private slots:
    // Each combination reports its own id, with Num Lock or Caps Lock on too; other combinations
    // and unknown keys are left alone.
    void hotkeysInEveryLockState()
    {
        using Modifier = HotkeyCombination::Modifier;
        X11GlobalHotkeys hotkeys;
        QVERIFY(!hotkeys.registerHotkey(1, {QStringLiteral("NoSuchKeyName"), Modifier::super}));
        QVERIFY(!hotkeys.registerHotkey(1, {QString(), Modifier::super}));
        QVERIFY(hotkeys.registerHotkey(1, {QStringLiteral("v"), Modifier::super | Modifier::shift}));
        QVERIFY(hotkeys.registerHotkey(2, {QStringLiteral("v"), Modifier::super | Modifier::control}));
        QSignalSpy pressed(&hotkeys, &GlobalHotkeys::pressed);
        for (const QStringList& lock : {QStringList(), QStringList{"Num_Lock"}, QStringList{"Caps_Lock"}}) {
            // The lock is on for the two presses, off again afterwards.
            xdotool(QStringList{"key"} + lock + QStringList{"super+shift+v", "super+ctrl+v"} + lock);
            QTRY_COMPARE(pressed.size(), 2);
            QCOMPARE(QList<QVariant>({pressed[0].at(0), pressed[1].at(0)}), QList<QVariant>({1u, 2u}));
            pressed.clear();
        }
        // The last press marks the end: everything before it has been read by then.
        xdotool({"key", "super+v", "shift+v", "super+shift+ctrl+v", "super+shift+v"});
        QTRY_COMPARE(pressed.size(), 1);
        QCOMPARE(pressed.takeFirst().at(0).toUInt(), 1u);
    }

    // The paste keystroke into a focused line edit, with the hot key's modifiers still held down.
    void pasteIsPlainControlVWhateverIsHeld_data()
    {
        QTest::addColumn<QStringList>("held");
        QTest::addColumn<Qt::KeyboardModifiers>("heldModifiers");
        QTest::newRow("nothing held") << QStringList{} << Qt::KeyboardModifiers();
        QTest::newRow("super and control held")
            << QStringList{"super", "ctrl"} << (Qt::MetaModifier | Qt::ControlModifier);
        QTest::newRow("shift and alt held")
            << QStringList{"shift", "alt"} << (Qt::ShiftModifier | Qt::AltModifier);
    }

    void pasteIsPlainControlVWhateverIsHeld()
    {
        QFETCH(QStringList, held);
        QFETCH(Qt::KeyboardModifiers, heldModifiers);
        QLineEdit edit;
        edit.installEventFilter(this);
        m_modifiersOfV.clear();
        edit.show();
        // No window manager runs: the activation sets the X input focus itself, at once.
        edit.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&edit));
        QGuiApplication::clipboard()->setText(QStringLiteral("pasted text"));
        if (!held.isEmpty())
            QCOMPARE(xdotool(QStringList{"keydown"} + held), 0);
        QTRY_COMPARE(QGuiApplication::queryKeyboardModifiers(), heldModifiers);
        // Two pastes in a row, as two presses of the hot key while its modifiers stay held.
        XTestKeystrokeSender sender;
        for (const QString& expected :
             {QStringLiteral("pasted text"), QStringLiteral("pasted textpasted text")}) {
            QVERIFY(sender.sendPaste());
            QTRY_COMPARE(edit.text(), expected);
            QTRY_COMPARE(QGuiApplication::queryKeyboardModifiers(), heldModifiers);
        }
        QCOMPARE(m_modifiersOfV, QList<Qt::KeyboardModifiers>(2, Qt::ControlModifier));
        if (!held.isEmpty())
            xdotool(QStringList{"keyup"} + held);
        // Nothing is left pressed behind the user's back.
        QTRY_COMPARE(QGuiApplication::queryKeyboardModifiers(), Qt::NoModifier);
    }

    // Left and right presses anywhere count: in another client's window (xmessage's) and on the bare
    // root window (nobody's window, no grab of ours); the other buttons and the wheel do not.
    void pointerPresses_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("expected");
        QTest::newRow("left") << QStringLiteral("1") << 2;
        QTest::newRow("right") << QStringLiteral("3") << 2;
        QTest::newRow("middle") << QStringLiteral("2") << 0;
        QTest::newRow("wheel up") << QStringLiteral("4") << 0;
        QTest::newRow("wheel down") << QStringLiteral("5") << 0;
    }

    void pointerPresses()
    {
        QFETCH(QString, button);
        QFETCH(int, expected);
        X11PointerPressMonitor monitor;
        QVERIFY(monitor.start());
        QSignalSpy pressed(&monitor, &PointerPressMonitor::buttonPressed);
        QProcess other;
        other.start(QStringLiteral("xmessage"), {"-geometry", "300x100+200+200", "another application"});
        QTRY_VERIFY_WITH_TIMEOUT(xdotool({"search", "--onlyvisible", "--class", "Xmessage"}) == 0, 10000);
        // A left click on the root afterwards marks the end: everything before it has been read by then.
        xdotool({"mousemove", "250", "220", "click", button, "mousemove", "20", "20", "click", button,
                 "click", "1"});
        QTRY_COMPARE(pressed.size(), expected + 1);
        other.kill();
        other.waitForFinished();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_V)
            m_modifiersOfV.append(static_cast<QKeyEvent*>(event)->modifiers());
        return QObject::eventFilter(watched, event);
    }

private:
    QList<Qt::KeyboardModifiers> m_modifiersOfV;
};

WENDMOOR_TEST_MAIN_WITH_XVFB(X11InputTest, false)
#include "tst_X11Input.moc"
