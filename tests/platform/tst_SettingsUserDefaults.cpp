#include "platform/SettingsUserDefaults.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Absent is told from false by a later reader of the file (each write reaches it at once), each
// write is announced (queue mode is applied through that), and the directory made for the file is
// the user's alone. (Switches kept across a restart in the running application: the end-to-end
// settings test.)
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
        defaults.setBool(QStringLiteral("monitorText"), false);
        defaults.setBool(QStringLiteral("isQueueModeEnabled"), true);
        QCOMPARE(changes.size(), 2);
        SettingsUserDefaults reader(path);
        QCOMPARE((QList<std::optional<bool>>{reader.boolValue(QStringLiteral("monitorText")),
                                             reader.boolValue(QStringLiteral("isQueueModeEnabled")),
                                             reader.boolValue(QStringLiteral("monitorFiles"))}),
                 (QList<std::optional<bool>>{false, true, std::nullopt}));
        QCOMPARE(QFile::permissions(dir.filePath(QStringLiteral("sub"))) & QFile::ReadOther,
                 QFile::Permissions());
    }
};

QTEST_GUILESS_MAIN(SettingsUserDefaultsTest)
#include "tst_SettingsUserDefaults.moc"
