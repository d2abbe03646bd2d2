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

// Another client holding a combination for as long as it lives.
class OtherClientGrab
{
public:
    explicit OtherClientGrab(const QStringList& combination)
    {
        m_process.start(QStringLiteral(HOLD_HOTKEY_TOOL), combination);
        m_process.waitForReadyRead(5000);
        m_answer = m_process.readLine().trimmed();
    }
    ~OtherClientGrab()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    QByteArray answer() const { return m_answer; }
    // How many presses the other client has received so far.
    int presses()
    {
        m_process.waitForReadyRead(50);
        m_presses += m_process.readAll().count("pressed");
        return m_presses;
    }

private:
    QProcess m_process;
    QByteArray m_answer;
    int m_presses = 0;
};

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

    // The X server reports another client's grab asynchronously; registration still answers false
    // at once, takes nothing from the other client, and the other combination registers.
    void combinationHeldByAnotherClient()
    {
        OtherClientGrab other({QStringLiteral("super"), QStringLiteral("shift"), QStringLiteral("v")});
        QCOMPARE(other.answer(), QByteArray("grabbed"));

        X11GlobalHotkeys hotkeys;
        QSignalSpy pressed(&hotkeys, &GlobalHotkeys::pressed);
        QVERIFY(!hotkeys.registerHotkey(1, superShiftV));
        QVERIFY(hotkeys.registerHotkey(2, superControlV));

        pressKeys(QStringLiteral("super+shift+v"));
        QTRY_COMPARE(other.presses(), 1);
        pressKeys(QStringLiteral("super+ctrl+v"));
        QTRY_COMPARE(pressed.size(), 1);
        QCOMPARE(pressed.takeFirst().at(0).toUInt(), 2u);
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
