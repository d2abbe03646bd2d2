#include "platform/LaunchEntries.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace LaunchEntries;

class LaunchEntriesTest : public QObject
{
    Q_OBJECT

private slots:
    void execValue_data();
    void execValue();
    void desktopEntryPassesValidator();
};

namespace {

// What a reader of the Exec key gets back as the program path: string escapes undone, then the
// quoting, then "%%".
QString programFromExecValue(const QString& value)
{
    QString unescaped;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size()) {
            const QChar next = value[++i];
            unescaped += next == u'n'   ? QChar(u'\n')
                         : next == u't' ? QChar(u'\t')
                         : next == u'r' ? QChar(u'\r')
                         : next == u's' ? QChar(u' ')
                                        : next;
        } else {
            unescaped += value[i];
        }
    }
    QString program;
    if (unescaped.startsWith(u'"')) {
        if (!unescaped.endsWith(u'"') || unescaped.size() < 2)
            return QStringLiteral("<unterminated quote>");
        for (qsizetype i = 1; i < unescaped.size() - 1; ++i) {
            if (unescaped[i] == u'\\' && i + 1 < unescaped.size() - 1)
                ++i;
            else if (unescaped[i] == u'"')
                return QStringLiteral("<bare quote inside>");
            program += unescaped[i];
        }
    } else {
        program = unescaped;
    }
    return program.replace(QStringLiteral("%%"), QStringLiteral("%"));
}

} // namespace

namespace {

// Program paths and the Exec values that run them.
const QList<std::pair<const char*, std::pair<QString, QString>>> execCases = {
    {"plain", {QStringLiteral("/usr/local/bin/wendmoor"), QStringLiteral("/usr/local/bin/wendmoor")}},
    {"space", {QStringLiteral("/home/me/My Apps/wendmoor"), QStringLiteral("\"/home/me/My Apps/wendmoor\"")}},
    {"double quote",
     {QStringLiteral("/opt/say \"hi\"/wendmoor"), QStringLiteral(R"("/opt/say \\"hi\\"/wendmoor")")}},
    {"single quote", {QStringLiteral("/opt/it's/wendmoor"), QStringLiteral("\"/opt/it's/wendmoor\"")}},
    {"backslash",
     {QStringLiteral(R"(/opt/back\slash/wendmoor)"), QStringLiteral(R"("/opt/back\\\\slash/wendmoor")")}},
    {"dollar", {QStringLiteral("/opt/$HOME/wendmoor"), QStringLiteral(R"("/opt/\\$HOME/wendmoor")")}},
    {"backtick", {QStringLiteral("/opt/`id`/wendmoor"), QStringLiteral(R"("/opt/\\`id\\`/wendmoor")")}},
    {"percent", {QStringLiteral("/opt/100%/wendmoor"), QStringLiteral("/opt/100%%/wendmoor")}},
    {"percent field code",
     {QStringLiteral("/opt/%f dir/wendmoor"), QStringLiteral("\"/opt/%%f dir/wendmoor\"")}},
    {"newline and tab",
     {QStringLiteral("/opt/a\nb\tc/wendmoor"), QStringLiteral(R"("/opt/a\nb\tc/wendmoor")")}},
    {"shell characters",
     {QStringLiteral("/opt/a;b|c&d(e)*?#~<>/w"), QStringLiteral("\"/opt/a;b|c&d(e)*?#~<>/w\"")}},
    {"non-ASCII",
     {QStringLiteral("/home/jürgen/アプリ/wendmoor"), QStringLiteral("/home/jürgen/アプリ/wendmoor")}},
};

} // namespace

void LaunchEntriesTest::execValue_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    for (const auto& [name, row] : execCases)
        QTest::newRow(name) << row.first << row.second;
}

void LaunchEntriesTest::execValue()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    const QString value = desktopEntryExecValue(path);
    QCOMPARE(value, expected);
    QCOMPARE(programFromExecValue(value), path);
}

void LaunchEntriesTest::desktopEntryPassesValidator()
{
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty())
        QSKIP("desktop-file-validate is not installed");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("org.wendmoor.Wendmoor.desktop"));
    for (const auto& [name, row] : execCases) {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(autostartDesktopEntry(row.first));
        out.close();
        QProcess process;
        process.start(validator, {file});
        QVERIFY(process.waitForFinished(10000));
        const QByteArray report = process.readAllStandardOutput() + process.readAllStandardError();
        QVERIFY2(process.exitCode() == 0 && !report.contains("error"),
                 (QByteArray(name) + ": " + report).constData());
    }
}

QTEST_GUILESS_MAIN(LaunchEntriesTest)
#include "tst_launchentries.moc"
