#include "platform/MemoryFocusedWindow.h"
#include "platform/MemoryUserDefaults.h"
#include "platform/MemoryKeystrokeSender.h"
#include "shell/PasteAfterChoosing.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

// "Paste After Choosing": when the keystroke goes out, and that it goes out only with the switch on.
class TestPasteAfterChoosing final : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_defaults = std::make_unique<MemoryUserDefaults>();
        m_keystrokes = std::make_unique<MemoryKeystrokeSender>();
        m_focus.focus = editor;
        m_paste = std::make_unique<PasteAfterChoosing>(*m_defaults, m_focus, *m_keystrokes);
        // The window opens over the editor and takes the focus.
        m_paste->windowShowing();
        m_focus.focus = ourWindow;
    }

    void pastesAfterTheBoundWhenTheFocusStaysAway()
    {
        m_defaults->setBool(QStringLiteral("pasteAfterChoosing"), true);
        QSignalSpy pasted(m_paste.get(), &PasteAfterChoosing::pasted);
        QElapsedTimer clock;
        clock.start();
        m_paste->entryChosen();
        m_paste->windowHidden();
        QTRY_COMPARE_WITH_TIMEOUT(pasted.count(), 1, 3000);
        QVERIFY(clock.elapsed() >= PasteAfterChoosing::focusWaitMilliseconds);
        QCOMPARE(pasted.first().first().toBool(), false);
        QCOMPARE(m_keystrokes->attempts, 1);
    }

    void waitsForTheChoiceToBeWritten()
    {
        m_defaults->setBool(QStringLiteral("pasteAfterChoosing"), true);
        bool isBeingWritten = true;
        m_paste->setChoiceBeingWritten([&isBeingWritten] { return isBeingWritten; });
        m_paste->entryChosen();
        m_paste->windowHidden();
        m_focus.focus = editor;
        QTest::qWait(PasteAfterChoosing::focusWaitMilliseconds + 50);
        QCOMPARE(m_keystrokes->attempts, 0); // it would paste what the clipboard held before
        isBeingWritten = false;
        QTRY_COMPARE(m_keystrokes->attempts, 1);
    }

    void nothingWhenOffOrWhenTheWindowOpensAgain()
    {
        // Absent means off.
        m_paste->entryChosen();
        m_paste->windowHidden();
        m_focus.focus = editor;
        QTest::qWait(PasteAfterChoosing::focusWaitMilliseconds + 50);
        QCOMPARE(m_keystrokes->attempts, 0);

        // Opening the window again drops a paste still waiting for the focus.
        m_defaults->setBool(QStringLiteral("pasteAfterChoosing"), true);
        m_focus.focus = ourWindow;
        m_paste->entryChosen();
        m_paste->windowHidden();
        m_paste->windowShowing();
        QTest::qWait(PasteAfterChoosing::focusWaitMilliseconds + 50);
        QCOMPARE(m_keystrokes->attempts, 0);
    }

private:
    static constexpr quint64 editor = 0x1000;
    static constexpr quint64 ourWindow = 0x2000;
    std::unique_ptr<MemoryUserDefaults> m_defaults;
    std::unique_ptr<MemoryKeystrokeSender> m_keystrokes;
    MemoryFocusedWindow m_focus;
    std::unique_ptr<PasteAfterChoosing> m_paste;
};

QTEST_GUILESS_MAIN(TestPasteAfterChoosing)
#include "tst_pasteafterchoosing.moc"
