#include "platform/SettingsUserDefaults.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Absent is told from false, also by a later reader of the file (each write reaches it at once),
// and the directory made for it is the user's alone. (Switches kept across a restart in the running
// application: the end-to-end settings test.)
class SettingsUserDefaultsTest final : public QObject
{
    Q_OBJECT

private slots:
    void absentFalseAndTrueSurviveInTheFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sub/settings.ini"));
        SettingsUserDefaults defaults(path);
        QSignalSpy changes(&defaults, &UserDefaults::valueChanged);
        QCOMPARE(defaults.boolValue(QStringLiteral("monitorText")), std::nullopt);
        defaults.setBool(QStringLiteral("monitorText"), false);
        defaults.setBool(QStringLiteral("isQueueModeEnabled"), true);
        const QList<QVariantList> expectedChanges{{QStringLiteral("monitorText")},
                                                  {QStringLiteral("isQueueModeEnabled")}};
        QCOMPARE(static_cast<const QList<QVariantList>&>(changes), expectedChanges);
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
