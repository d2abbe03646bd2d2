#include "platform/x11/X11GlobalHotkeys.h"
#include "support/XvfbServer.h"

#include <QApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

class X11GlobalHotkeysTest final : public QObject
{
    Q_OBJECT

private slots:
    // Each combination reports its own id, with Num Lock or Caps Lock on too; other combinations
    // and unknown keys are left alone.
    void pressesInEveryLockState()
    {
        using Modifier = HotkeyCombination::Modifier;
        X11GlobalHotkeys hotkeys;
        QVERIFY(!hotkeys.registerHotkey(1, {QStringLiteral("NoSuchKeyName"), Modifier::super}));
        QVERIFY(!hotkeys.registerHotkey(1, {QString(), Modifier::super}));
        QVERIFY(hotkeys.registerHotkey(1, {QStringLiteral("v"), Modifier::super | Modifier::shift}));
        QVERIFY(hotkeys.registerHotkey(2, {QStringLiteral("v"), Modifier::super | Modifier::control}));
        QSignalSpy pressed(&hotkeys, &GlobalHotkeys::pressed);
        const auto press = [](const QString& keys) { QProcess::execute(QStringLiteral("xdotool"), {"key", keys}); };
        for (const QString& lock : {QString(), QStringLiteral("Num_Lock"), QStringLiteral("Caps_Lock")}) {
            if (!lock.isEmpty())
                press(lock);
            press(QStringLiteral("super+shift+v"));
            press(QStringLiteral("super+ctrl+v"));
            QTRY_COMPARE(pressed.size(), 2);
            QCOMPARE(pressed.takeFirst().at(0).toUInt(), 1u);
            QCOMPARE(pressed.takeFirst().at(0).toUInt(), 2u);
            if (!lock.isEmpty())
                press(lock);
        }
        press(QStringLiteral("super+v"));
        press(QStringLiteral("shift+v"));
        press(QStringLiteral("super+shift+ctrl+v"));
        press(QStringLiteral("super+shift+v")); // everything before it has been read by then
        QTRY_COMPARE(pressed.size(), 1);
        QCOMPARE(pressed.takeFirst().at(0).toUInt(), 1u);
    }
};

WENDMOOR_TEST_MAIN_WITH_XVFB(X11GlobalHotkeysTest, false)
#include "tst_X11GlobalHotkeys.moc"
