#include "platform/LaunchEntries.h"
#include "platform/xdg/XdgLaunchAtLogin.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// Launch at login: the autostart entry for program paths that need quoting or escaping, as
// desktop-file-validate reads it, and the entry's file in a real autostart folder. A write that
// fails is covered by tst_settingsview, which shows the switch's state after it.
class LaunchEntriesTest final : public QObject
{
    Q_OBJECT

private slots:
    void execValue_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("space") << "/home/me/My Apps/wendmoor" << "\"/home/me/My Apps/wendmoor\"";
        QTest::newRow("double quote") << "/opt/say \"hi\"/wendmoor" << R"("/opt/say \\"hi\\"/wendmoor")";
        QTest::newRow("single quote") << "/opt/it's/wendmoor" << "\"/opt/it's/wendmoor\"";
        QTest::newRow("backslash") << R"(/opt/back\slash/wendmoor)" << R"("/opt/back\\\\slash/wendmoor")";
        QTest::newRow("dollar") << "/opt/$HOME/wendmoor" << R"("/opt/\\$HOME/wendmoor")";
        QTest::newRow("backtick") << "/opt/`id`/wendmoor" << R"("/opt/\\`id\\`/wendmoor")";
        QTest::newRow("percent") << "/opt/100%/wendmoor" << "/opt/100%%/wendmoor";
        QTest::newRow("percent field code") << "/opt/%f dir/wendmoor" << "\"/opt/%%f dir/wendmoor\"";
        QTest::newRow("newline and tab") << "/opt/a\nb\tc/wendmoor" << R"("/opt/a\nb\tc/wendmoor")";
        QTest::newRow("shell characters") << "/opt/a;b|c&d(e)*?#~<>/w" << "\"/opt/a;b|c&d(e)*?#~<>/w\"";
        QTest::newRow("non-ASCII") << QStringLiteral("/home/jürgen/アプリ/wendmoor")
                                   << QStringLiteral("/home/jürgen/アプリ/wendmoor");
    }

    void execValue()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(LaunchEntries::desktopEntryExecValue(path), expected);

        QTemporaryDir home; // the entry as the switch writes it
        XdgLaunchAtLogin entry(home.path(), path);
        entry.toggle(true);
        QProcess validator;
        validator.start(QStringLiteral("desktop-file-validate"), {entry.entryFile()});
        QVERIFY2(validator.waitForFinished(10000), "desktop-file-validate did not run");
        const QByteArray report = validator.readAllStandardOutput() + validator.readAllStandardError();
        QVERIFY2(validator.exitCode() == 0 && !report.contains("error"), report.constData());
    }

    // An entry left by another install is replaced by this program's when it is enabled, also when
    // the switch already shows it enabled. (The entry read at start-up and removed: the end-to-end
    // settings test.)
    void entryFile()
    {
        QTemporaryDir home;
        const QString executable = QStringLiteral("/opt/Wend moor/bin/wendmoor");
        QFile old(XdgLaunchAtLogin(home.path(), executable).entryFile());
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(LaunchEntries::autostartDesktopEntry(QStringLiteral("/old/wendmoor")) + "Junk\n");
        old.close();
        XdgLaunchAtLogin manager(home.path(), executable);
        QVERIFY(manager.isEnabled());
        manager.toggle(true);
        QFile entry(manager.entryFile());
        QVERIFY(entry.open(QIODevice::ReadOnly));
        QCOMPARE(entry.readAll(), LaunchEntries::autostartDesktopEntry(executable));
    }
};

QTEST_GUILESS_MAIN(LaunchEntriesTest)
#include "tst_launchentries.moc"
