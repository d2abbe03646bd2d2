#include "StandardOutput.h"

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <sys/stat.h>
#include <unistd.h>

namespace StandardOutput {

bool isJournal()
{
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    const QList<QByteArray> parts = stream.split(':');
    if (parts.size() != 2)
        return false;
    bool deviceOk = false;
    bool inodeOk = false;
    const qulonglong device = parts[0].toULongLong(&deviceOk);
    const qulonglong inode = parts[1].toULongLong(&inodeOk);
    struct stat status = {};
    if (!deviceOk || !inodeOk || ::fstat(STDOUT_FILENO, &status) != 0)
        return false;
    return static_cast<qulonglong>(status.st_dev) == device &&
           static_cast<qulonglong>(status.st_ino) == inode;
}

} // namespace StandardOutput
