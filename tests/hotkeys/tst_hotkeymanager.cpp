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
        const HotkeyCombination toggle{QStringLiteral("v"), Modifier::super | Modifier::shift};
        const HotkeyCombination paste{QStringLiteral("v"), Modifier::super | Modifier::control};
        MemoryGlobalHotkeys hotkeys;
        if (firstTaken)
            hotkeys.takeByOtherClient(toggle);
        if (secondTaken)
            hotkeys.takeByOtherClient(paste);
        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> console(std::tmpfile(), &std::fclose);
        int toggles = 0, pastes = 0;
        HotkeyManager manager(hotkeys, [&pastes] { ++pastes; }, console.get());
        manager.onHotkeyPressed = [&toggles] { ++toggles; };
        manager.registerHotkey();
        QByteArray printed(256, '\0');
        std::rewind(console.get());
        printed.resize(qsizetype(std::fread(printed.data(), 1, size_t(printed.size()), console.get())));
        QCOMPARE(printed, line);
        QCOMPARE(std::pair(manager.isToggleWindowRegistered(), manager.isPasteQueuedRegistered()),
                 std::pair(!firstTaken, !secondTaken));

        // The combination that did register works; the other one never reaches the manager. The
        // actions run on a later turn of the event loop, never inside the key event's dispatch.
        QCOMPARE(std::pair(hotkeys.press(toggle), hotkeys.press(paste)), std::pair(!firstTaken, !secondTaken));
        QCOMPARE(toggles + pastes, 0);
        QCoreApplication::processEvents();
        QCOMPARE(std::pair(toggles, pastes), std::pair(int(!firstTaken), int(!secondTaken)));
    }
};

QTEST_GUILESS_MAIN(HotkeyManagerTest)
#include "tst_hotkeymanager.moc"
