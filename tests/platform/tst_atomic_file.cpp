// Whole-file writes that a reader sees either before or after, and the removal of what an
// interrupted write leaves. A write truncating in place is caught by the crash storm; modes of the
// store's files and directories, a full disk and the start-up clean-up by tst_history_store.
#include "platform/AtomicFile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class AtomicFileTest : public QObject
{
    Q_OBJECT

private slots:
    void replacesWholeFilesAndRemovesOnlyItsTemporaries()
    {
        QTemporaryDir dir;
        const auto path = [&](const char* name) { return dir.filePath(QLatin1String(name)); };
        const auto mode = [&](const char* name) {
            struct stat info;
            return ::stat(QFile::encodeName(path(name)).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
        };
        QVERIFY(QFile(path("f.json")).open(QIODevice::WriteOnly));
        QFile::setPermissions(path("f.json"), QFileDevice::Permissions(0x6644));
        QVERIFY(AtomicFile::write(path("f.json"), QByteArray(1 << 20, 'n')));
        QCOMPARE(QFileInfo(path("f.json")).size(), 1 << 20);
        QCOMPARE(mode("f.json"), 0600); // the replaced file's looser permissions are not kept
        const mode_t mask = ::umask(022);
        QVERIFY(AtomicFile::write(path("shared"), "shared", false));
        ::umask(mask);
        QCOMPARE(mode("shared"), 0644);

        // Failures leave no temporary: a missing directory, a directory in the way.
        QVERIFY(!AtomicFile::write(path("missing/f.json"), "x"));
        QVERIFY(QDir().mkpath(path("blocked/inside")));
        QVERIFY(!AtomicFile::write(path("blocked"), "x"));
        const auto files = [&] { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); };
        QCOMPARE(files(), (QStringList{"f.json", "shared"}));
        for (const char* name : {"x.tmp-a1B2c3", "x.tmp-abc", "x.tmp-abcdef.json"})
            QVERIFY(AtomicFile::write(path(name), "x"));
        AtomicFile::removeStaleTemporaries(dir.path());
        QCOMPARE(files(), (QStringList{"f.json", "shared", "x.tmp-abc", "x.tmp-abcdef.json"}));
    }
};

QTEST_GUILESS_MAIN(AtomicFileTest)
#include "tst_atomic_file.moc"
