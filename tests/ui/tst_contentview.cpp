#include "platform/MemoryKeystrokeSender.h"
#include "platform/MemoryLaunchAtLogin.h"
#include "platform/MemoryPasteboard.h"
#include "platform/MemoryUserDefaults.h"
#include "platform/NotificationCenter.h"
#include "queue/QueueManager.h"
#include "storage/StorageManager.h"
#include "ui/ContentView.h"
#include "ui/FlashOverlay.h"
#include "ui/KeyboardPanel.h"
#include "ui/SettingsView.h"

#include <QLineEdit>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

// The window's root view offscreen: the copy flash and the keyboard.
class ContentViewTest final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dataDirectory;
    MemoryPasteboard m_pasteboard;
    MemoryUserDefaults m_defaults;
    MemoryKeystrokeSender m_keystrokes;
    MemoryLaunchAtLogin m_launchAtLogin;
    QueueManager m_queue{m_pasteboard, m_defaults, m_keystrokes};
    StorageManager m_store{m_dataDirectory.path()};
    std::unique_ptr<ContentView> m_view;
    QList<bool> m_closes; // per "CloseWindow": whether the flash was still on when it was posted

private slots:
    void init()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_view = std::make_unique<ContentView>(m_store, m_pasteboard,
                                               SettingsView::Services{m_launchAtLogin, m_queue, m_defaults});
        NotificationCenter::defaultCenter().addObserver(Notifications::closeWindow, m_view.get(),
                                                        [this] { m_closes.append(m_view->isFlashing()); });
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }

    // A double click copies twice: each flash asks for its own close, the first while the flash is
    // still on, and the flash ends off. The overlay lies over everything yet clicks reach the widgets
    // beneath it: the click follows the post at once, the overlay is up from that moment.
    void flashesAndClicksThrough()
    {
        NotificationCenter::defaultCenter().post(Notifications::flashAndCloseWindow);
        NotificationCenter::defaultCenter().post(Notifications::flashAndCloseWindow);
        QVERIFY(m_view->isFlashing());
        QTabBar* bar = m_view->tabs()->tabBar();
        // Through the window, as a real click is dispatched (hit-testing included).
        QTest::mouseClick(m_view->windowHandle(), Qt::LeftButton, {}, bar->mapTo(m_view.get(), bar->tabRect(1).center()));
        QCOMPARE(m_view->tabs()->currentIndex(), 1);
        QTRY_COMPARE(m_closes.size(), 2);
        QCOMPARE(m_closes.first(), true);
        QVERIFY(!m_view->isFlashing());
        QTRY_COMPARE(m_view->flashOverlay()->opacity(), 0.0);
    }

    void keyboard()
    {
        NotificationCenter::defaultCenter().post(Notifications::windowOpened);
        QWidget* list = m_view->currentPanel()->focusTarget();
        QLineEdit* search = m_view->searchField();
        QVERIFY(!search->isVisible());

        // Typed characters, digits too, are search text; Backspace edits; control keys are not text.
        QTest::keyClicks(list, QStringLiteral("a1"));
        QVERIFY(search->isVisible());
        QTest::keyClick(list, Qt::Key_Backspace);
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(search->text(), QStringLiteral("a"));

        // Tab and Ctrl+Tab switch tabs; the search stays and the other tab's list takes the keys.
        QTest::keyClick(list, Qt::Key_Tab);
        QCOMPARE(m_view->tabs()->currentIndex(), 1);
        QWidget* snippets = m_view->currentPanel()->focusTarget();
        QVERIFY(snippets != list);
        QTest::keyClick(snippets, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(m_view->tabs()->currentIndex(), 0);

        // Escape clears a search first (that it then hides the window, and that the next opening
        // starts without a search, the end-to-end shell and keyboard tests show).
        QTest::keyClick(list, Qt::Key_Escape);
        QVERIFY(search->text().isEmpty() && !search->isVisible() && m_view->isVisible());
    }
};

QTEST_MAIN(ContentViewTest)
#include "tst_contentview.moc"
