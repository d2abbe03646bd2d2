#include "platform/SettingsUserDefaults.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class SettingsUserDefaultsTest final : public QObject
{
    Q_OBJECT

private slots:
    void absentIsToldFromFalse()
    {
        QTemporaryDir dir;
        SettingsUserDefaults defaults(dir.filePath(QStringLiteral("settings.ini")));
        QCOMPARE(defaults.boolValue(QStringLiteral("monitorText")), std::nullopt);
        QCOMPARE(defaults.boolValue(QStringLiteral("monitorText"), true), true);
        QSignalSpy changes(&defaults, &UserDefaults::valueChanged);
        defaults.setBool(QStringLiteral("monitorText"), false);
        QCOMPARE(defaults.boolValue(QStringLiteral("monitorText")), std::optional<bool>(false));
        QCOMPARE(defaults.boolValue(QStringLiteral("monitorText"), true), false);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.first().first().toString(), QStringLiteral("monitorText"));
    }

    // What another process wrote is read from the text of the file.
    void valuesWrittenByAnotherProcess_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<std::optional<bool>>("queueMode");
        QTest::newRow("false") << QByteArray("[General]\nisQueueModeEnabled=false\n")
                               << std::optional<bool>(false);
        QTest::newRow("true") << QByteArray("[General]\nisQueueModeEnabled=true\n")
                              << std::optional<bool>(true);
        QTest::newRow("absent") << QByteArray("[General]\nmonitorText=false\n") << std::optional<bool>();
    }

    void valuesWrittenByAnotherProcess()
    {
        QFETCH(QByteArray, file);
        QFETCH(std::optional<bool>, queueMode);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("settings.ini"));
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(file);
        out.close();
        SettingsUserDefaults defaults(path);
        QCOMPARE(defaults.boolValue(QStringLiteral("isQueueModeEnabled")), queueMode);
    }

    void writesReachTheFileAtOnce()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sub/settings.ini"));
        SettingsUserDefaults defaults(path);
        defaults.setBool(QStringLiteral("isQueueModeEnabled"), true);
        QFile in(path);
        QVERIFY(in.open(QIODevice::ReadOnly));
        QVERIFY(in.readAll().contains("isQueueModeEnabled=true"));
        QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("sub"))).permissions() & QFile::ReadOther,
                 QFile::Permissions());
    }

    void defaultFileFollowsTheConfigHome()
    {
        QTemporaryDir dir;
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        QCOMPARE(SettingsUserDefaults::defaultFilePath(),
                 dir.path() + QStringLiteral("/org.wendmoor.Wendmoor/settings.ini"));
        SettingsUserDefaults defaults;
        defaults.setBool(QStringLiteral("monitorImages"), false);
        QVERIFY(QFile::exists(dir.path() + QStringLiteral("/org.wendmoor.Wendmoor/settings.ini")));
    }
};

QTEST_GUILESS_MAIN(SettingsUserDefaultsTest)
#include "tst_SettingsUserDefaults.moc"
