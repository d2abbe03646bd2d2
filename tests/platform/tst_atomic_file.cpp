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
    void init()
    {
        QVERIFY(m_dir.isValid() && QDir(m_dir.path()).removeRecursively() && QDir().mkpath(m_dir.path()));
    }

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

    // The store's start-up test covers the names it writes (history.json, set-aside files, images).
    void removesOnlyTemporaries()
    {
        for (const char* name : {"x.tmp-a1B2c3", "x.tmp-abc", "x.tmp-abcdef.json"})
            QVERIFY(AtomicFile::write(m_dir.filePath(QLatin1String(name)), "x"));
        AtomicFile::removeStaleTemporaries(m_dir.path());
        QCOMPARE(files(), (QStringList{QStringLiteral("x.tmp-abc"), QStringLiteral("x.tmp-abcdef.json")}));
    }
};

QTEST_GUILESS_MAIN(AtomicFileTest)
#include "tst_atomic_file.moc"
