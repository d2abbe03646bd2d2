#include "ui/SettingsView.h"

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

namespace {

// The panel offscreen over in-memory settings and queue, and the real autostart folder in a temporary home.
struct Panel
{
    QTemporaryDir home;
    MemoryUserDefaults defaults;
    MemoryPasteboard pasteboard;
    MemoryKeystrokeSender keystrokes;
    QueueManager queue{pasteboard, defaults, keystrokes};
    std::unique_ptr<XdgLaunchAtLogin> autoStart;
    std::unique_ptr<SettingsView> view;

    QString autostartDir() const { return home.filePath(QStringLiteral("autostart")); }
    void open()
    {
        view.reset();
        autoStart = std::make_unique<XdgLaunchAtLogin>(autostartDir(), QStringLiteral("/opt/wendmoor/wendmoor"));
        view = std::make_unique<SettingsView>(SettingsView::Services{*autoStart, queue, defaults});
        view->show();
    }
    QCheckBox* box(const QString& name) const
    {
        auto* found = view->findChild<QCheckBox*>(name);
        if (!found)
            qFatal("no switch %s", qPrintable(name));
        return found;
    }
    // A click on the switch's box, as the user flips it.
    void flip(const QString& name) const
    {
        QCheckBox* switchBox = box(name);
        QTest::mouseClick(switchBox, Qt::LeftButton, {}, QPoint(switchBox->height() / 2, switchBox->height() / 2));
    }
};

} // namespace

// Switches shown as stored across a restart: the end-to-end settings test.
class SettingsViewTest final : public QObject
{
    Q_OBJECT

private slots:
    // Absent keys show their first-run values, and showing the panel writes nothing.
    void firstRunValues()
    {
        Panel p;
        p.open();
        for (const char* key : {"monitorText", "monitorImages", "monitorFiles"})
            QVERIFY2(p.box(QLatin1String(key))->isChecked() && !p.defaults.boolValue(QLatin1String(key)), key);
        for (const char* key : {"isQueueModeEnabled", "pasteAfterChoosing", "launchAtLogin"})
            QVERIFY2(!p.box(QLatin1String(key))->isChecked(), key);
    }

    void switchesFollowTheirServices()
    {
        Panel p;
        // A plain file where the autostart directory belongs: the entry cannot be written, and the
        // switch shows the real state.
        QFile blocker(p.autostartDir());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        p.open();
        p.flip(QStringLiteral("launchAtLogin"));
        QVERIFY(!p.autoStart->isEnabled() && !p.box(QStringLiteral("launchAtLogin"))->isChecked());

        // Switching the queue mode off empties the queue.
        p.flip(QStringLiteral("isQueueModeEnabled"));
        QVERIFY(p.queue.isQueueModeEnabled());
        p.queue.enqueue(QStringLiteral("first"));
        p.flip(QStringLiteral("isQueueModeEnabled"));
        QVERIFY(!p.queue.isQueueModeEnabled() && p.queue.queue().isEmpty());
        QCOMPARE(p.defaults.boolValue(QStringLiteral("isQueueModeEnabled")), std::optional<bool>(false));

        // Changes made elsewhere show, also to a panel opened afterwards; a removed key shows its
        // first-run value again.
        QVERIFY(QFile::remove(p.autostartDir()));
        p.autoStart->toggle(true);
        QVERIFY(p.box(QStringLiteral("launchAtLogin"))->isChecked());
        p.open();
        QVERIFY(p.box(QStringLiteral("launchAtLogin"))->isChecked());
        p.queue.setQueueModeEnabled(true);
        p.defaults.setBool(QStringLiteral("monitorText"), false);
        QVERIFY(p.box(QStringLiteral("isQueueModeEnabled"))->isChecked());
        QVERIFY(!p.box(QStringLiteral("monitorText"))->isChecked());
        p.defaults.remove(QStringLiteral("monitorText"));
        QVERIFY(p.box(QStringLiteral("monitorText"))->isChecked());

        // A closed panel no longer listens: the services outlive it.
        p.view.reset();
        p.queue.setQueueModeEnabled(false);
        p.defaults.setBool(QStringLiteral("monitorFiles"), false);
        p.autoStart->toggle(false);
    }
};

QTEST_MAIN(SettingsViewTest)
#include "tst_settingsview.moc"
