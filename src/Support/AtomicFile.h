#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <sys/types.h>

namespace Support::AtomicFile {

// Replaces the file at `path` with `bytes` in one step: the bytes go to "<name>.tmp-<UUID>" in the
// same folder, are flushed to disk, and the temporary file is renamed over the target; the folder
// is then flushed too. A crash at any point leaves either the old file or the new one.
//
// An existing target keeps its permission bits; a new one gets exactly `newFileMode` (no umask).
// The temporary file is removed on every failure. Throws Support::IoError.
void write(const QString& path, const QByteArray& bytes, mode_t newFileMode = 0644);

// Reads the whole file, or nothing when it cannot be opened or read; `errorNumber` (when given)
// then receives the system's error number (ENOENT for a missing file).
std::optional<QByteArray> read(const QString& path, int* errorNumber = nullptr);

// The temporary name used for `path`: "<name>.tmp-<UPPER-CASE UUID>" beside it. A name too long
// for that in its folder is cut short (at a whole character) so the temporary name still fits:
// every name the file system accepts can be written.
QString temporaryPathFor(const QString& path);

} // namespace Support::AtomicFile
