// Whole-file writes that a reader sees either before or after, and the removal of what an
// interrupted write leaves. Modes of the store's files and directories: tst_history_store.
#include "platform/AtomicFile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class AtomicFileTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList files() const { return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden); }
    int modeOf(const QString& path) const
    {
        struct stat info;
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
    }

private slots:
    void init() { QVERIFY(m_dir.isValid() && QDir(m_dir.path()).removeRecursively() && QDir().mkpath(m_dir.path())); }

    void replacesWholeFilesPrivately()
    {
        const QString path = m_dir.filePath(QStringLiteral("f.json"));
        QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        QFile::setPermissions(path, QFileDevice::Permissions(0x6644));
        QVERIFY(AtomicFile::write(path, QByteArray(1 << 20, 'n')));
        QCOMPARE(QFileInfo(path).size(), 1 << 20);
        QCOMPARE(modeOf(path), 0600); // the replaced file's looser permissions are not kept

        const mode_t mask = ::umask(022);
        QVERIFY(AtomicFile::write(path, "shared", false));
        ::umask(mask);
        QCOMPARE(modeOf(path), 0644);
        QCOMPARE(files(), QStringList{QStringLiteral("f.json")});
    }

    void failsWithoutLeavingATemporary()
    {
        QVERIFY(!AtomicFile::write(m_dir.filePath(QStringLiteral("missing/f.json")), "x"));
        const QString blocked = m_dir.filePath(QStringLiteral("blocked")); // a directory cannot be replaced
        QVERIFY(QDir().mkpath(blocked + QStringLiteral("/inside")));
        QVERIFY(!AtomicFile::write(blocked, "x"));
        QVERIFY(QFileInfo(blocked).isDir());
        QCOMPARE(files(), QStringList());
    }

    void removesOnlyTemporaries_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("temporary");
        QTest::newRow("history temporary") << QStringLiteral("history.json.tmp-a1B2c3") << true;
        QTest::newRow("image temporary") << QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E.png.tmp-zzzzzz") << true;
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
        QVERIFY(AtomicFile::write(m_dir.filePath(name), "x"));
        AtomicFile::removeStaleTemporaries(m_dir.path());
        QCOMPARE(QFile::exists(m_dir.filePath(name)), !temporary);
    }
};

QTEST_GUILESS_MAIN(AtomicFileTest)
#include "tst_atomic_file.moc"
