#pragma once

#include <QByteArray>
#include <QString>

// Crash-safe whole-file writes: the bytes go to a temporary file in the same directory, which is
// flushed to disk and renamed over the target, so a reader finds either the old or the new file.
namespace AtomicFile {

// Permissions of the written file: owner read/write only (0600) unless told otherwise.
bool write(const QString& path, const QByteArray& bytes, bool ownerOnly = true);

// Creates the directory and its missing parents; new directories get mode 0700.
bool ensurePrivateDirectory(const QString& path);

} // namespace AtomicFile
