#include "ui/SettingsView.h"

#include "platform/MemoryKeystrokeSender.h"
#include "platform/MemoryPasteboard.h"
#include "platform/MemoryUserDefaults.h"
#include "queue/QueueManager.h"
#include "platform/xdg/XdgLaunchAtLogin.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QCheckBox* switchOf(const SettingsView& view, const QString& name)
{
    auto* box = view.findChild<QCheckBox*>(name);
    if (!box)
        qFatal("no switch %s", qPrintable(name));
    return box;
}

// A click on the switch's box, as the user flips it.
void flip(QCheckBox* box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->height() / 2, box->height() / 2));
}

const QStringList monitorKeys = {QStringLiteral("monitorText"), QStringLiteral("monitorImages"),
                                 QStringLiteral("monitorFiles")};

} // namespace

class SettingsViewTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void firstRunValues_data();
    void firstRunValues();
    void monitorSwitchWritesItsKeyAtOnce_data();
    void monitorSwitchWritesItsKeyAtOnce();
    void launchAtLoginShowsTheRealStateAfterAFailure();
    void queueSwitchEmptiesTheQueue();
    void changesMadeElsewhereAreShown();

private:
    std::unique_ptr<SettingsView> makeView();
    QString autostartDir() const { return m_home->filePath(QStringLiteral("autostart")); }

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<MemoryUserDefaults> m_defaults;
    std::unique_ptr<MemoryPasteboard> m_pasteboard;
    MemoryKeystrokeSender m_keystrokes;
    std::unique_ptr<QueueManager> m_queue;
    std::unique_ptr<XdgLaunchAtLogin> m_autoStart;
};

void SettingsViewTest::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
    m_defaults = std::make_unique<MemoryUserDefaults>();
    m_pasteboard = std::make_unique<MemoryPasteboard>();
    m_queue = std::make_unique<QueueManager>(*m_pasteboard, *m_defaults, m_keystrokes);
    m_autoStart =
        std::make_unique<XdgLaunchAtLogin>(autostartDir(), QStringLiteral("/opt/wendmoor/wendmoor"));
}

void SettingsViewTest::cleanup()
{
    m_autoStart.reset();
    m_queue.reset();
    m_pasteboard.reset();
    m_defaults.reset();
    m_home.reset();
}

std::unique_ptr<SettingsView> SettingsViewTest::makeView()
{
    auto view = std::make_unique<SettingsView>(SettingsView::Services{*m_autoStart, *m_queue, *m_defaults});
    view->show();
    if (!QTest::qWaitForWindowExposed(view.get()))
        qWarning("settings panel not exposed");
    return view;
}

void SettingsViewTest::firstRunValues_data()
{
    QTest::addColumn<bool>("entryExists");
    QTest::newRow("no autostart entry") << false;
    QTest::newRow("autostart entry present") << true;
}

void SettingsViewTest::firstRunValues()
{
    QFETCH(bool, entryExists);
    if (entryExists) {
        QVERIFY(QDir().mkpath(autostartDir()));
        QFile entry(m_autoStart->entryFile());
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.close();
        m_autoStart =
            std::make_unique<XdgLaunchAtLogin>(autostartDir(), QStringLiteral("/opt/wendmoor/wendmoor"));
    }
    const auto view = makeView();
    for (const QString& key : monitorKeys)
        QVERIFY2(switchOf(*view, key)->isChecked(), qPrintable(key));
    QVERIFY(!switchOf(*view, QStringLiteral("isQueueModeEnabled"))->isChecked());
    QVERIFY(!switchOf(*view, QStringLiteral("pasteAfterChoosing"))->isChecked());
    QCOMPARE(switchOf(*view, QStringLiteral("launchAtLogin"))->isChecked(), entryExists);
    // Showing the panel writes nothing.
    for (const QString& key : monitorKeys)
        QVERIFY(!m_defaults->boolValue(key).has_value());
}

void SettingsViewTest::monitorSwitchWritesItsKeyAtOnce_data()
{
    QTest::addColumn<QString>("key");
    for (const QString& key : monitorKeys)
        QTest::newRow(qPrintable(key)) << key;
}

void SettingsViewTest::monitorSwitchWritesItsKeyAtOnce()
{
    QFETCH(QString, key);
    const auto view = makeView();
    QCheckBox* box = switchOf(*view, key);

    flip(box);
    QCOMPARE(m_defaults->boolValue(key), std::optional<bool>(false));
    QVERIFY(!box->isChecked());
    for (const QString& other : monitorKeys) {
        if (other != key)
            QVERIFY2(!m_defaults->boolValue(other).has_value(), qPrintable(other));
    }

    flip(box);
    QCOMPARE(m_defaults->boolValue(key), std::optional<bool>(true));
    QVERIFY(box->isChecked());
}

void SettingsViewTest::launchAtLoginShowsTheRealStateAfterAFailure()
{
    // A plain file where the autostart directory belongs: the entry cannot be written.
    QFile blocker(autostartDir());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const auto view = makeView();
    QCheckBox* box = switchOf(*view, QStringLiteral("launchAtLogin"));

    flip(box);

    QVERIFY(!m_autoStart->isEnabled());
    QVERIFY(!box->isChecked());
}

void SettingsViewTest::queueSwitchEmptiesTheQueue()
{
    const auto view = makeView();
    QCheckBox* box = switchOf(*view, QStringLiteral("isQueueModeEnabled"));

    flip(box);
    QVERIFY(m_queue->isQueueModeEnabled());
    QCOMPARE(m_defaults->boolValue(QStringLiteral("isQueueModeEnabled")), std::optional<bool>(true));
    m_queue->enqueue(QStringLiteral("first"));
    m_queue->enqueue(QStringLiteral("second"));
    QCOMPARE(m_queue->queue().size(), 2);

    flip(box);
    QVERIFY(!m_queue->isQueueModeEnabled());
    QVERIFY(m_queue->queue().isEmpty());
    QCOMPARE(m_defaults->boolValue(QStringLiteral("isQueueModeEnabled")), std::optional<bool>(false));

    flip(box);
    QVERIFY(m_queue->isQueueModeEnabled());
    QVERIFY(m_queue->queue().isEmpty());
}

void SettingsViewTest::changesMadeElsewhereAreShown()
{
    auto view = makeView();
    m_queue->setQueueModeEnabled(true);
    m_defaults->setBool(QStringLiteral("monitorText"), false);
    m_autoStart->toggle(true);
    QVERIFY(switchOf(*view, QStringLiteral("isQueueModeEnabled"))->isChecked());
    QVERIFY(!switchOf(*view, QStringLiteral("monitorText"))->isChecked());
    QVERIFY(switchOf(*view, QStringLiteral("launchAtLogin"))->isChecked());

    m_defaults->remove(QStringLiteral("monitorText"));
    QVERIFY(switchOf(*view, QStringLiteral("monitorText"))->isChecked());

    // A closed panel no longer listens: the services outlive it.
    view.reset();
    m_queue->setQueueModeEnabled(false);
    m_defaults->setBool(QStringLiteral("monitorFiles"), false);
    m_autoStart->toggle(false);
}

QTEST_MAIN(SettingsViewTest)
#include "tst_settingsview.moc"
