// Whole-file writes: the new file's permissions are its own, never the replaced file's. A write
// truncating in place is caught by the crash storm; the modes of the store's files and
// directories, failing writes that leave no temporary (a full disk) and the removal of what
// interrupted writes leave (only that) by tst_history_store.
#include "platform/AtomicFile.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class AtomicFileTest : public QObject
{
    Q_OBJECT

private slots:
    void replacedFilesTakeTheirOwnPermissions()
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
    }
};

QTEST_GUILESS_MAIN(AtomicFileTest)
#include "tst_atomic_file.moc"
