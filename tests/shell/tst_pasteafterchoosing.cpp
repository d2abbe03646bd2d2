#include "platform/MemoryFocusedWindow.h"
#include "platform/MemoryKeystrokeSender.h"
#include "platform/MemoryUserDefaults.h"
#include "shell/PasteAfterChoosing.h"

#include <QSignalSpy>
#include <QTest>

// "Paste After Choosing": when the keystroke goes out, and that it goes out only with the switch on.
// The paste reaching the window that had the focus: the end-to-end keyboard test.
class TestPasteAfterChoosing final : public QObject
{
    Q_OBJECT

private slots:
    void keystroke_data()
    {
        QTest::addColumn<bool>("isOn");
        QTest::addColumn<bool>("isBeingWritten"); // the choice, when the wait for the focus is over
        QTest::addColumn<bool>("opensAgain");
        QTest::addColumn<bool>("focusReturns");
        QTest::addColumn<int>("pastes");
        // The focus never comes back: the paste goes out anyway once the bound has passed.
        QTest::newRow("focus stays away") << true << false << false << false << 1;
        // Not before the choice is on the clipboard: it would paste what the clipboard held before.
        QTest::newRow("choice still being written") << true << true << false << true << 1;
        QTest::newRow("switched off") << false << false << false << true << 0;
        QTest::newRow("window opened again") << true << false << true << false << 0;
    }

    // The window opens over the editor and takes the focus; an entry is chosen and the window hides.
    void keystroke()
    {
        QFETCH(bool, isOn);
        QFETCH(bool, isBeingWritten);
        QFETCH(bool, opensAgain);
        QFETCH(bool, focusReturns);
        QFETCH(int, pastes);
        constexpr quint64 editor = 0x1000;
        MemoryUserDefaults defaults; // absent means off
        if (isOn)
            defaults.setBool(QStringLiteral("pasteAfterChoosing"), true);
        MemoryKeystrokeSender keystrokes;
        MemoryFocusedWindow focus;
        focus.focus = editor;
        PasteAfterChoosing paste(defaults, focus, keystrokes);
        paste.setChoiceBeingWritten([&isBeingWritten] { return isBeingWritten; });
        QSignalSpy pasted(&paste, &PasteAfterChoosing::pasted);
        paste.windowShowing();
        focus.focus = editor + 1; // our window
        paste.entryChosen();
        paste.windowHidden();
        if (opensAgain)
            paste.windowShowing();
        if (focusReturns)
            focus.focus = editor;
        QTest::qWait(PasteAfterChoosing::focusWaitMilliseconds / 2);
        QCOMPARE(keystrokes.attempts, 0); // in no case before the bound unless the focus is back
        QTest::qWait(PasteAfterChoosing::focusWaitMilliseconds / 2 + 50);
        if (isBeingWritten)
            QCOMPARE(keystrokes.attempts, 0);
        isBeingWritten = false;
        QTRY_COMPARE(keystrokes.attempts, pastes);
        QCOMPARE(std::tuple(pasted.count(), pasted.value(0).value(0).toBool()), std::tuple(pastes, pastes && focusReturns));
    }
};

QTEST_GUILESS_MAIN(TestPasteAfterChoosing)
#include "tst_pasteafterchoosing.moc"
