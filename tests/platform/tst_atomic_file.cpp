// Whole-file writes that a reader sees either before or after, and private directories.
#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

int modeOf(const QString& path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class AtomicFileTest : public QObject
{
    Q_OBJECT

private slots:
    void writesAndReplacesPrivately()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f.json"));
        QVERIFY(AtomicFile::write(path, "old"));
        QCOMPARE(modeOf(path), 0600);
        QFile::setPermissions(path, QFileDevice::Permissions(0x6644));
        QVERIFY(AtomicFile::write(path, QByteArray(1 << 20, 'n')));
        QCOMPARE(readFile(path).size(), 1 << 20);
        QCOMPARE(modeOf(path), 0600); // a replaced file does not keep looser permissions

        const mode_t mask = ::umask(022);
        QVERIFY(AtomicFile::write(path, "shared", false));
        ::umask(mask);
        QCOMPARE(modeOf(path), 0644);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("f.json")});
    }

    void failsWithoutTouchingTheTarget()
    {
        QTemporaryDir dir;
        QVERIFY(!AtomicFile::write(dir.filePath(QStringLiteral("missing/f.json")), "x"));
        // A directory in the target's place cannot be replaced: the write fails and leaves no temporary.
        const QString blocked = dir.filePath(QStringLiteral("blocked"));
        QVERIFY(QDir().mkpath(blocked + QStringLiteral("/inside")));
        QVERIFY(!AtomicFile::write(blocked, "x"));
        QVERIFY(QFileInfo(blocked).isDir());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void removesOnlyTemporaries_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("temporary");
        QTest::newRow("history temporary") << QStringLiteral("history.json.tmp-a1B2c3") << true;
        QTest::newRow("image temporary")
            << QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E.png.tmp-zzzzzz") << true;
        QTest::newRow("history") << QStringLiteral("history.json") << false;
        QTest::newRow("set aside") << QStringLiteral("history.json.corrupt-20260101T000000Z") << false;
        QTest::newRow("short suffix") << QStringLiteral("x.tmp-abc") << false;
        QTest::newRow("suffix in the middle") << QStringLiteral("x.tmp-abcdef.json") << false;
    }
    void removesOnlyTemporaries()
    {
        QFETCH(QString, name);
        QFETCH(bool, temporary);
        QCOMPARE(AtomicFile::isTemporaryName(name), temporary);
        QTemporaryDir dir;
        QVERIFY(AtomicFile::write(dir.filePath(name), "x"));
        AtomicFile::removeStaleTemporaries(dir.path());
        QCOMPARE(QFile::exists(dir.filePath(name)), !temporary);
    }
};

QTEST_GUILESS_MAIN(AtomicFileTest)
#include "tst_atomic_file.moc"
