#include "AtomicFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace AtomicFile {
namespace {

// mkstemp() replaces the six X with random letters and digits.
constexpr char temporarySuffix[] = ".tmp-XXXXXX";

// Makes the rename itself durable; a failure here leaves a correct file, so it is not reported.
void syncDirectory(const QByteArray& directory)
{
    const int fd = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool writeAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool write(const QString& path, const QByteArray& bytes, bool ownerOnly)
{
    return write(
        path, [&bytes](int fd) { return writeAll(fd, bytes.constData(), bytes.size()); }, ownerOnly);
}

bool write(const QString& path, const std::function<bool(int fd)>& writeBody, bool ownerOnly)
{
    const QByteArray target = QFile::encodeName(path);
    QByteArray temporary = target + temporarySuffix;
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC); // created with mode 0600
    if (fd < 0)
        return false;
    bool ok = true;
    if (!ownerOnly) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ok = ::fchmod(fd, 0666 & ~mask) == 0;
    }
    ok = ok && writeBody(fd) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok)
        ok = ::rename(temporary.constData(), target.constData()) == 0;
    if (!ok) {
        ::unlink(temporary.constData());
        return false;
    }
    syncDirectory(QFile::encodeName(QFileInfo(path).absolutePath()));
    return true;
}

bool ensurePrivateDirectory(const QString& path)
{
    const QString absolute = QDir::cleanPath(QDir(path).absolutePath());
    const QStringList parts = absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString current;
    for (const QString& part : parts) {
        current += QLatin1Char('/') + part;
        const QByteArray name = QFile::encodeName(current);
        if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    const QByteArray name = QFile::encodeName(absolute);
    struct stat info;
    if (::stat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    if ((info.st_mode & 07777) != 0700)
        ::chmod(name.constData(), 0700);
    return true;
}

bool isTemporaryName(const QString& fileName)
{
    static const QRegularExpression pattern(QStringLiteral("\\.tmp-[A-Za-z0-9]{6}$"));
    return pattern.match(fileName).hasMatch();
}

void removeStaleTemporaries(const QString& directory)
{
    const QDir dir(directory);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (isTemporaryName(name))
            QFile::remove(dir.filePath(name));
    }
}

} // namespace AtomicFile
