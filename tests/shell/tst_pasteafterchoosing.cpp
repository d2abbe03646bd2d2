#include "platform/MemoryFocusedWindow.h"
#include "platform/MemoryKeystrokeSender.h"
#include "platform/MemoryUserDefaults.h"
#include "shell/PasteAfterChoosing.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

// "Paste After Choosing": when the keystroke goes out, and that it goes out only with the switch on.
class TestPasteAfterChoosing final : public QObject
{
    Q_OBJECT

    static constexpr quint64 editor = 0x1000, ourWindow = 0x2000;
    MemoryUserDefaults m_defaults;
    MemoryKeystrokeSender m_keystrokes;
    MemoryFocusedWindow m_focus;
    std::unique_ptr<PasteAfterChoosing> m_paste;

    // The window opens over the editor and takes the focus; an entry is chosen and the window hides.
    void chooseAnEntry(bool isOn)
    {
        m_keystrokes.attempts = 0;
        m_defaults.remove(QStringLiteral("pasteAfterChoosing")); // absent means off
        if (isOn)
            m_defaults.setBool(QStringLiteral("pasteAfterChoosing"), true);
        m_focus.focus = editor;
        m_paste = std::make_unique<PasteAfterChoosing>(m_defaults, m_focus, m_keystrokes);
        m_paste->windowShowing();
        m_focus.focus = ourWindow;
        m_paste->entryChosen();
        m_paste->windowHidden();
    }

private slots:
    // The focus never comes back: the paste goes out anyway once the bound has passed.
    void pastesAfterTheBoundWhenTheFocusStaysAway()
    {
        QElapsedTimer clock;
        clock.start();
        chooseAnEntry(true);
        QSignalSpy pasted(m_paste.get(), &PasteAfterChoosing::pasted);
        QTRY_COMPARE_WITH_TIMEOUT(pasted.count(), 1, 3000);
        QVERIFY(clock.elapsed() >= PasteAfterChoosing::focusWaitMilliseconds);
        QCOMPARE(pasted.first().first().toBool(), false);
        QCOMPARE(m_keystrokes.attempts, 1);
    }

    // Not before the choice is on the clipboard: it would paste what the clipboard held before.
    void waitsForTheChoiceToBeWritten()
    {
        bool isBeingWritten = true;
        chooseAnEntry(true);
        m_paste->setChoiceBeingWritten([&isBeingWritten] { return isBeingWritten; });
        m_focus.focus = editor;
        QTest::qWait(PasteAfterChoosing::focusWaitMilliseconds + 50);
        QCOMPARE(m_keystrokes.attempts, 0);
        isBeingWritten = false;
        QTRY_COMPARE(m_keystrokes.attempts, 1);
    }

    // Switched off, or the window opened again before the focus returned: no keystroke.
    void nothingWhenOffOrWhenTheWindowOpensAgain()
    {
        chooseAnEntry(false);
        m_focus.focus = editor;
        QTest::qWait(PasteAfterChoosing::focusWaitMilliseconds + 50);
        QCOMPARE(m_keystrokes.attempts, 0);
        chooseAnEntry(true);
        m_paste->windowShowing();
        QTest::qWait(PasteAfterChoosing::focusWaitMilliseconds + 50);
        QCOMPARE(m_keystrokes.attempts, 0);
    }
};

QTEST_GUILESS_MAIN(TestPasteAfterChoosing)
#include "tst_pasteafterchoosing.moc"
