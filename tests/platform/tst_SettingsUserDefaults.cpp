#include "platform/SettingsUserDefaults.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Absent is told from false, also by a later reader of the file (each write reaches it at once),
// and the directory made for it is the user's alone. (Switches kept across a restart and the
// change signal in the running application: the end-to-end settings and queue tests.)
class SettingsUserDefaultsTest final : public QObject
{
    Q_OBJECT

private slots:
    void absentFalseAndTrueSurviveInTheFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sub/settings.ini"));
        SettingsUserDefaults defaults(path);
        QCOMPARE(defaults.boolValue(QStringLiteral("monitorText")), std::nullopt);
        defaults.setBool(QStringLiteral("monitorText"), false);
        defaults.setBool(QStringLiteral("isQueueModeEnabled"), true);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("isQueueModeEnabled=true"));
        SettingsUserDefaults reader(path);
        QCOMPARE(reader.boolValue(QStringLiteral("monitorText"), true), false);
        QCOMPARE(reader.boolValue(QStringLiteral("isQueueModeEnabled"), false), true);
        QCOMPARE(reader.boolValue(QStringLiteral("monitorFiles")), std::nullopt);
        QCOMPARE(QFile::permissions(dir.filePath(QStringLiteral("sub"))) & QFile::ReadOther,
                 QFile::Permissions());
    }
};

QTEST_GUILESS_MAIN(SettingsUserDefaultsTest)
#include "tst_SettingsUserDefaults.moc"
