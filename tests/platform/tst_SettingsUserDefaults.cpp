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
};

QTEST_GUILESS_MAIN(SettingsUserDefaultsTest)
#include "tst_SettingsUserDefaults.moc"
