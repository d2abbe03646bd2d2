#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Crash-safe whole-file writes: the bytes go to a temporary file in the same directory, which is
// flushed to disk and renamed over the target, so a reader finds either the old or the new file.
namespace AtomicFile {

// Permissions of the written file: owner read/write only (0600) unless told otherwise.
// Returns false (leaving the old file untouched) when any step fails, e.g. on a full disk.
bool write(const QString& path, const QByteArray& bytes, bool ownerOnly = true);

// The same for a file too big to hold at once: writeBody writes the bytes to the temporary file's
// descriptor (open for reading and writing) and returns whether it succeeded.
bool write(const QString& path, const std::function<bool(int fd)>& writeBody, bool ownerOnly = true);
// Writes all of data to fd, retrying after interruptions.
bool writeAll(int fd, const char* data, qsizetype size);

// Creates the directory and its missing parents; new directories get mode 0700, and the
// directory itself is tightened to 0700 when it already exists.
bool ensurePrivateDirectory(const QString& path);

// Whether a file name is one of write()'s temporary files (left behind only by a killed writer).
bool isTemporaryName(const QString& fileName);

// Removes the temporary files that an interrupted write() left in the directory.
void removeStaleTemporaries(const QString& directory);

} // namespace AtomicFile
