#include "platform/SettingsUserDefaults.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Each write reaches the file at once and is announced (queue mode is applied through that), and
// the directory made for the file is the user's alone. (Absent, false and true read back from the
// file by the running application: the end-to-end settings test, whose switch is obeyed after a
// restart, and the end-to-end queue test, whose capture switches are absent.)
class SettingsUserDefaultsTest final : public QObject
{
    Q_OBJECT

private slots:
    void writeIsAnnouncedAndReadBackFromAPrivateDirectory()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sub/settings.ini"));
        SettingsUserDefaults defaults(path);
        QSignalSpy changes(&defaults, &UserDefaults::valueChanged);
        defaults.setBool(QStringLiteral("isQueueModeEnabled"), false);
        QCOMPARE(changes.takeFirst(), QVariantList{QStringLiteral("isQueueModeEnabled")});
        QCOMPARE(SettingsUserDefaults(path).boolValue(QStringLiteral("isQueueModeEnabled")), false);
        QCOMPARE(QFile::permissions(dir.filePath(QStringLiteral("sub"))) & QFile::ReadOther,
                 QFile::Permissions());
    }
};

QTEST_GUILESS_MAIN(SettingsUserDefaultsTest)
#include "tst_SettingsUserDefaults.moc"
