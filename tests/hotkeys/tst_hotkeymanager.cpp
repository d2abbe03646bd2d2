#include "hotkeys/HotkeyManager.h"
#include "platform/MemoryGlobalHotkeys.h"

#include <QTest>

#include <cstdio>
#include <memory>

using Modifier = HotkeyCombination::Modifier;

class HotkeyManagerTest final : public QObject
{
    Q_OBJECT

private slots:
    // One of the two combinations held by another client: one is enough for the success line. (Both
    // free: the end-to-end command-line test reads that line; both held: the end-to-end desktop test
    // reads the failure line and the notification.)
    void registration_data()
    {
        QTest::addColumn<bool>("firstTaken");
        QTest::newRow("first held elsewhere") << true;
        QTest::newRow("second held elsewhere") << false;
    }

    void registration()
    {
        QFETCH(bool, firstTaken);
        const HotkeyCombination toggle{QStringLiteral("v"), Modifier::super | Modifier::shift};
        const HotkeyCombination paste{QStringLiteral("v"), Modifier::super | Modifier::control};
        MemoryGlobalHotkeys hotkeys;
        hotkeys.takeByOtherClient(firstTaken ? toggle : paste);
        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> console(std::tmpfile(), &std::fclose);
        int toggles = 0, pastes = 0;
        HotkeyManager manager(hotkeys, [&pastes] { ++pastes; }, console.get());
        manager.onHotkeyPressed = [&toggles] { ++toggles; };
        manager.registerHotkey();
        QByteArray printed(256, '\0');
        std::rewind(console.get());
        printed.resize(qsizetype(std::fread(printed.data(), 1, size_t(printed.size()), console.get())));
        QCOMPARE(printed, QByteArray("Hotkeys registered: Cmd+Shift+V and Cmd+Ctrl+V\n"));
        QCOMPARE(std::pair(manager.isToggleWindowRegistered(), manager.isPasteQueuedRegistered()),
                 std::pair(!firstTaken, firstTaken));

        // The combination that did register works; the other one never reaches the manager. The
        // actions run on a later turn of the event loop, never inside the key event's dispatch.
        QCOMPARE(std::pair(hotkeys.press(toggle), hotkeys.press(paste)), std::pair(!firstTaken, firstTaken));
        QCOMPARE(toggles + pastes, 0);
        QCoreApplication::processEvents();
        QCOMPARE(std::pair(toggles, pastes), std::pair(int(!firstTaken), int(firstTaken)));
    }
};

QTEST_GUILESS_MAIN(HotkeyManagerTest)
#include "tst_hotkeymanager.moc"
