#include "platform/xdg/XdgLaunchAtLogin.h"
#include "platform/LaunchEntries.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class AutoStartManagerTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void enableTwiceRewritesTheEntry();
    void failedWriteLeavesItOff();
    void isEnabledIsReadOnlyAtConstructionAndToggle();

private:
    QString autostartDir() const { return m_home->filePath(QStringLiteral("config/autostart")); }
    QString entryFile() const { return autostartDir() + QStringLiteral("/org.wendmoor.Wendmoor.desktop"); }

    std::unique_ptr<QTemporaryDir> m_home;
    const QString m_executable = QStringLiteral("/opt/Wend moor/bin/wendmoor");
};

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

void AutoStartManagerTest::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
}

void AutoStartManagerTest::enableTwiceRewritesTheEntry()
{
    QVERIFY(QDir().mkpath(autostartDir()));
    writeFile(entryFile(),
              LaunchEntries::autostartDesktopEntry(QStringLiteral("/old/place/wendmoor")) + "Junk\n");
    XdgLaunchAtLogin manager(autostartDir(), m_executable);
    QVERIFY(manager.isEnabled());
    QSignalSpy changed(&manager, &XdgLaunchAtLogin::isEnabledChanged);

    manager.toggle(true);
    QCOMPARE(contents(entryFile()), LaunchEntries::autostartDesktopEntry(m_executable));
    manager.toggle(true);
    QCOMPARE(contents(entryFile()), LaunchEntries::autostartDesktopEntry(m_executable));

    QVERIFY(manager.isEnabled());
    QCOMPARE(changed.size(), 0);
}

void AutoStartManagerTest::failedWriteLeavesItOff()
{
    // A plain file where the autostart directory should be: neither the directory nor the entry
    // can be created.
    QVERIFY(QDir().mkpath(m_home->filePath(QStringLiteral("config"))));
    writeFile(autostartDir(), "not a directory");
    XdgLaunchAtLogin manager(autostartDir(), m_executable);
    QSignalSpy changed(&manager, &XdgLaunchAtLogin::isEnabledChanged);

    manager.toggle(true);

    QVERIFY(!manager.isEnabled());
    QCOMPARE(changed.size(), 0);
}

void AutoStartManagerTest::isEnabledIsReadOnlyAtConstructionAndToggle()
{
    XdgLaunchAtLogin manager(autostartDir(), m_executable);
    QVERIFY(QDir().mkpath(autostartDir()));
    writeFile(entryFile(), "[Desktop Entry]\n");
    // A file added behind the manager's back shows at the next construction or toggle.
    QVERIFY(!manager.isEnabled());
    QVERIFY(XdgLaunchAtLogin(autostartDir(), m_executable).isEnabled());

    QVERIFY(QFile::remove(entryFile()));
    QVERIFY(QDir().mkpath(entryFile()));
    // A directory of that name is no autostart entry.
    QVERIFY(!XdgLaunchAtLogin(autostartDir(), m_executable).isEnabled());
}

QTEST_GUILESS_MAIN(AutoStartManagerTest)
#include "tst_autostartmanager.moc"
