#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <sys/types.h>

namespace Support::AtomicFile {

// What write() does with a symbolic link at the path it replaces.
enum class Links {
    // The link itself is replaced by a regular file: for folders others may write to, where a
    // planted link must never lead a write to another file.
    replace,
    // The file at the end of the link is replaced (its temporary beside it) and the link stays:
    // for the user's own settings, which dotfile set-ups keep elsewhere behind a link.
    follow,
};

// Replaces the file at `path` with `bytes` in one step: the bytes go to a hidden temporary
// ".<name>.tmp-<UUID>" in the same folder, are flushed to disk, and the temporary file is renamed
// over the target; the folder is then flushed too. A crash at any point leaves either the old file
// or the new one (and at most the hidden temporary).
//
// An existing regular file keeps its permission bits; a new one gets `newFileMode` less the umask
// (or what the folder's default access list says), as every file this program makes: 0666 lets
// the user's umask decide, a stricter mode keeps a private file private whatever the umask.
// The temporary file is removed on every failure. Throws Support::IoError.
void write(const QString& path, const QByteArray& bytes, mode_t newFileMode = 0666, Links links = Links::replace);

// Writes `bytes` to a new file in `folder` under the first free name of nameFor(0), nameFor(1),
// ... (an empty name ends the search: EEXIST). Nothing there is ever replaced, a symbolic link
// included: the bytes go to a hidden temporary ".<name>.tmp-<UUID>" in the folder, are flushed,
// and only then get their name, which fails when anything holds it. A crash leaves the whole
// file under its name or nothing (at most the hidden temporary). The new file's mode is
// `mode` less the umask, as for write(). Returns the path. Throws Support::IoError; a failure
// leaves no file.
QString createNew(const QString& folder, const std::function<QString(int attempt)>& nameFor, const QByteArray& bytes,
                  mode_t mode = 0666);

// Reads the whole file, or nothing when it cannot be opened or read; `errorNumber` (when given)
// then receives the system's error number (ENOENT for a missing file). A file longer than
// `maximumBytes` is not read whole but refused with EFBIG: every reader names the limit that fits
// what it reads (-1, none, is for tests alone). Anything but a regular file (a pipe, a device) is
// refused without waiting on it (SafeFile). A link at `path` is followed.
std::optional<QByteArray> read(const QString& path, int* errorNumber, qint64 maximumBytes);

// Where a chain of symbolic links at `path` ends (`path` itself when it is no link); the end
// need not exist. Throws Support::IoError (ELOOP) for a chain that never ends.
QString linkTarget(const QString& path);

// The temporary name used for `path`: ".<name>.tmp-<UPPER-CASE UUID>" beside it. A name too long
// for that in its folder is cut short (at a whole character) so the temporary name still fits:
// every name the file system accepts can be written.
QString temporaryPathFor(const QString& path);

} // namespace Support::AtomicFile
