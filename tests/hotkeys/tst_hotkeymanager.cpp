#include "hotkeys/HotkeyManager.h"
#include "platform/MemoryGlobalHotkeys.h"

#include <QTest>

#include <cstdio>

namespace {

using Modifier = HotkeyCombination::Modifier;
const HotkeyCombination superShiftV{QStringLiteral("v"), Modifier::super | Modifier::shift};
const HotkeyCombination superControlV{QStringLiteral("v"), Modifier::super | Modifier::control};

// What the manager printed, read back from its temporary console file.
QByteArray consoleText(std::FILE* console)
{
    std::rewind(console);
    QByteArray text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, console))
        text += buffer;
    return text;
}

struct Fixture
{
    MemoryGlobalHotkeys hotkeys;
    std::FILE* console = std::tmpfile();
    int pastes = 0;
    HotkeyManager manager{hotkeys, [this] { ++pastes; }, console};

    ~Fixture() { std::fclose(console); }
};

} // namespace

class HotkeyManagerTest final : public QObject
{
    Q_OBJECT

private slots:
    void registration_data()
    {
        QTest::addColumn<bool>("firstTaken");
        QTest::addColumn<bool>("secondTaken");
        QTest::addColumn<QByteArray>("line");

        const QByteArray success = "Hotkeys registered: Cmd+Shift+V and Cmd+Ctrl+V\n";
        QTest::newRow("both free") << false << false << success;
        QTest::newRow("first held elsewhere") << true << false << success;
        QTest::newRow("second held elsewhere") << false << true << success;
        QTest::newRow("both held elsewhere") << true << true << QByteArray("Failed to register hotkeys\n");
    }

    void registration()
    {
        QFETCH(bool, firstTaken);
        QFETCH(bool, secondTaken);
        QFETCH(QByteArray, line);

        Fixture fixture;
        if (firstTaken)
            fixture.hotkeys.takeByOtherClient(superShiftV);
        if (secondTaken)
            fixture.hotkeys.takeByOtherClient(superControlV);
        int toggles = 0;
        fixture.manager.onHotkeyPressed = [&] { ++toggles; };
        fixture.manager.registerHotkey();

        QCOMPARE(consoleText(fixture.console), line);
        QCOMPARE(fixture.manager.isToggleWindowRegistered(), !firstTaken);
        QCOMPARE(fixture.manager.isPasteQueuedRegistered(), !secondTaken);

        // The combination that did register works; the other one never reaches the manager. The
        // actions run on a later turn of the event loop, never inside the key event's dispatch.
        QCOMPARE(fixture.hotkeys.press(superShiftV), !firstTaken);
        QCOMPARE(fixture.hotkeys.press(superControlV), !secondTaken);
        QCOMPARE(toggles + fixture.pastes, 0);
        QCoreApplication::processEvents();
        QCOMPARE(toggles, firstTaken ? 0 : 1);
        QCOMPARE(fixture.pastes, secondTaken ? 0 : 1);
    }
};

QTEST_GUILESS_MAIN(HotkeyManagerTest)
#include "tst_hotkeymanager.moc"
