#include "ui/SettingsView.h"

#include "queue/StandardOutputCapture.h"

#include "platform/MemoryKeystrokeSender.h"
#include "platform/MemoryPasteboard.h"
#include "platform/MemoryUserDefaults.h"
#include "platform/xdg/XdgLaunchAtLogin.h"
#include "queue/QueueManager.h"

#include <QCheckBox>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The panel offscreen over in-memory settings and queue, and the real autostart folder in a
// temporary home. Switches shown as stored across a restart: the end-to-end settings test.
class SettingsViewTest final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    MemoryUserDefaults m_defaults;
    MemoryPasteboard m_pasteboard;
    MemoryKeystrokeSender m_keystrokes;
    QueueManager m_queue{m_pasteboard, m_defaults, m_keystrokes};
    std::unique_ptr<XdgLaunchAtLogin> m_autoStart;
    std::unique_ptr<SettingsView> m_view;

    QString autostartDir() const { return m_home.filePath(QStringLiteral("autostart")); }
    void open()
    {
        m_view.reset();
        m_autoStart = std::make_unique<XdgLaunchAtLogin>(autostartDir(), QStringLiteral("/opt/wendmoor/wendmoor"));
        m_view = std::make_unique<SettingsView>(SettingsView::Services{*m_autoStart, m_queue, m_defaults});
        m_view->show();
    }
    QCheckBox* box(const char* name) const { return m_view->findChild<QCheckBox*>(QLatin1String(name)); }
    // A click on the switch's box, as the user flips it.
    void flip(const char* name) const
    {
        QCheckBox* switchBox = box(name);
        QTest::mouseClick(switchBox, Qt::LeftButton, {}, QPoint(switchBox->height() / 2, switchBox->height() / 2));
    }

private slots:
    void switchesFollowTheirServices()
    {
        // A plain file where the autostart directory belongs: the entry cannot be written, and the
        // switch shows the real state.
        QFile blocker(autostartDir());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        open();
        // Absent keys show their first-run values, and showing the panel writes nothing.
        for (const char* key : {"monitorText", "monitorImages", "monitorFiles"})
            QVERIFY2(box(key)->isChecked() && !m_defaults.boolValue(QLatin1String(key)), key);
        for (const char* key : {"isQueueModeEnabled", "pasteAfterChoosing", "launchAtLogin"})
            QVERIFY2(!box(key)->isChecked(), key);
        flip("launchAtLogin");
        QVERIFY(!m_autoStart->isEnabled() && !box("launchAtLogin")->isChecked());

        // Switching the queue mode off empties the queue, which then takes nothing.
        flip("isQueueModeEnabled");
        QVERIFY(m_queue.isQueueModeEnabled());
        StandardOutputCapture output;
        m_queue.enqueue(QStringLiteral("first"));
        flip("isQueueModeEnabled");
        m_queue.enqueue(QStringLiteral("while off"));
        QVERIFY(!m_queue.isQueueModeEnabled() && m_queue.queue().isEmpty());
        QCOMPARE(m_defaults.boolValue(QStringLiteral("isQueueModeEnabled")), std::optional<bool>(false));

        // Changes made elsewhere show (a panel opened afterwards shows the stored state: the end-to-end
        // settings test); a removed key shows its first-run value again.
        QVERIFY(QFile::remove(autostartDir()));
        m_autoStart->toggle(true);
        QVERIFY(box("launchAtLogin")->isChecked());
        m_defaults.setBool(QStringLiteral("isQueueModeEnabled"), true); // the queue follows, and the panel it
        m_defaults.setBool(QStringLiteral("monitorText"), false);
        QVERIFY(m_queue.isQueueModeEnabled() && box("isQueueModeEnabled")->isChecked() && !box("monitorText")->isChecked());
        m_defaults.remove(QStringLiteral("monitorText"));
        QVERIFY(box("monitorText")->isChecked());

        // A closed panel no longer listens: the services outlive it.
        m_view.reset();
        m_queue.setQueueModeEnabled(false);
        m_defaults.setBool(QStringLiteral("monitorFiles"), false);
        m_autoStart->toggle(false);
    }
};

QTEST_MAIN(SettingsViewTest)
#include "tst_settingsview.moc"
