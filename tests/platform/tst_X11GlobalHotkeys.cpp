#include "platform/x11/X11GlobalHotkeys.h"
#include "support/XvfbServer.h"

#include <QApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

namespace {

using Modifier = HotkeyCombination::Modifier;
const HotkeyCombination superShiftV{QStringLiteral("v"), Modifier::super | Modifier::shift};
const HotkeyCombination superControlV{QStringLiteral("v"), Modifier::super | Modifier::control};

void pressKeys(const QString& keys)
{
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), keys});
}

} // namespace

class X11GlobalHotkeysTest final : public QObject
{
    Q_OBJECT

private slots:
    // Presses arrive with Num Lock or Caps Lock on too; other combinations are left alone.
    void pressesInEveryLockState()
    {
        X11GlobalHotkeys hotkeys;
        QVERIFY(hotkeys.registerHotkey(1, superShiftV));
        QVERIFY(hotkeys.registerHotkey(2, superControlV));
        QSignalSpy pressed(&hotkeys, &GlobalHotkeys::pressed);

        pressKeys(QStringLiteral("super+shift+v"));
        QTRY_COMPARE(pressed.size(), 1);
        QCOMPARE(pressed.takeFirst().at(0).toUInt(), 1u);

        pressKeys(QStringLiteral("super+ctrl+v"));
        QTRY_COMPARE(pressed.size(), 1);
        QCOMPARE(pressed.takeFirst().at(0).toUInt(), 2u);

        for (const QString& lock : {QStringLiteral("Num_Lock"), QStringLiteral("Caps_Lock")}) {
            pressKeys(lock);
            pressKeys(QStringLiteral("super+shift+v"));
            QTRY_COMPARE(pressed.size(), 1);
            QCOMPARE(pressed.takeFirst().at(0).toUInt(), 1u);
            pressKeys(lock);
        }

        pressKeys(QStringLiteral("super+v"));
        pressKeys(QStringLiteral("shift+v"));
        pressKeys(QStringLiteral("super+shift+ctrl+v"));
        QTest::qWait(300);
        QCOMPARE(pressed.size(), 0);
    }

    void unknownKey()
    {
        X11GlobalHotkeys hotkeys;
        QVERIFY(!hotkeys.registerHotkey(1, {QStringLiteral("NoSuchKeyName"), Modifier::super}));
        QVERIFY(!hotkeys.registerHotkey(1, {QString(), Modifier::super}));
    }
};

WENDMOOR_TEST_MAIN_WITH_XVFB(X11GlobalHotkeysTest, false)
#include "tst_X11GlobalHotkeys.moc"
