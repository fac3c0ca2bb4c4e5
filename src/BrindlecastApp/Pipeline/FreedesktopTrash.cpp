#include "BrindlecastApp/Pipeline/FreedesktopTrash.h"

#include "BrindlecastApp/Pipeline/LibraryFiles.h"
#include "Support/FileDescriptor.h"
#include "Support/FileNames.h"
#include "Support/Folders.h"
#include "Support/IoError.h"
#include "Support/SafeFile.h"

#include <QDateTime>
#include <QFileInfo>
#include <QUrl>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace BrindlecastApp::Pipeline {

namespace {

using Support::FileDescriptor;
namespace FileNames = Support::FileNames;

// A system with thousands of mounts still lists them in a few hundred kilobytes.
constexpr qint64 maximumMountInfoBytes = 16 * 1024 * 1024;
// Names tried in one trash before giving up: "shot.png", "shot (1).png", ...
constexpr int maximumNamesTried = 10000;

using Support::IoError;

// A resolved path, byte for byte; empty when it cannot be resolved.
QByteArray resolved(const QByteArray& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.constData(), buffer) ? QByteArray(buffer) : QByteArray();
}

// mountinfo writes a blank, a tab, a newline and a backslash in a path as "\ooo".
QByteArray unescapedMountPath(const QByteArray& field) {
    QByteArray path;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int value = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                path += char(value);
                i += 3;
                continue;
            }
        }
        path += field[i];
    }
    return path;
}

// The nearest folder at or above `path` that exists.
QString existingAncestor(QString path) {
    while (!FileNames::exists(path)) {
        const QString parent = QFileInfo(path).path();
        if (parent == path) break;
        path = parent;
    }
    return path;
}

// The file on its way to the trash: what a failure is told by.
struct Moving {
    QString path;   // the file itself
    QString folder; // the folder it stays in when it cannot move
};

// Failures of the disk itself rather than of a folder on it.
bool diskWide(int errorNumber) {
    return errorNumber == EROFS || errorNumber == ENOSPC || errorNumber == EDQUOT || errorNumber == EIO;
}

// A system call inside the trash failed: told by the file that stays, with where it failed kept
// inside for the log.
[[noreturn]] void failInside(int errorNumber, const QString& where, const char* operation, const Moving& file) {
    try {
        throw IoError(errorNumber, where, QString::fromLatin1(operation));
    } catch (const IoError&) {
        std::throw_with_nested(IoError(errorNumber, file.path, QStringLiteral("move to the Trash")));
    }
}

// Why a folder of the trash was not opened: the system's error number, or what it is instead of
// a private folder of this user's.
struct Refusal {
    int errorNumber = 0;
    std::optional<TrashRefused::Cause> cause;
};

// A trash folder refused. The trash itself (`made`), when the system would not make it for a
// reason of the folder it was to be made in, is told by that folder; anything else by the file.
[[noreturn]] void refuse(const Refusal& refusal, const QString& trashFolder, const Moving& file, bool made) {
    if (refusal.cause) throw TrashRefused(*refusal.cause, trashFolder, file.folder);
    if (made && !diskWide(refusal.errorNumber)) throw IoError(refusal.errorNumber, trashFolder, QStringLiteral("create"));
    failInside(refusal.errorNumber, trashFolder, "open folder", file);
}

// What the trash writes and where: the open folders and how Path= names the file.
struct TrashFolder {
    QString path;
    FileDescriptor folder;
    // The mount top that Path= is relative to; empty for the home trash, whose records hold
    // absolute paths.
    QByteArray top;
};

// Makes the folder `name` in `parent` when it is missing; the system's error number when that
// failed for any other reason than its being there.
int makePrivateFolder(int parent, const QByteArray& name) {
    return ::mkdirat(parent, name.constData(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

// Opens the folder `name` in `parent` when it is a real folder (no link) of this user's that no
// one else may write to; otherwise nothing, and `refusal` says why. A folder that is missing
// because `notMade` kept it from being made is told by that error.
std::optional<FileDescriptor> ownPrivateFolder(int parent, const QByteArray& name, Refusal* refusal, int notMade = 0) {
    const auto refused = [refusal](int errorNumber, std::optional<TrashRefused::Cause> cause = std::nullopt) {
        *refusal = {errorNumber, cause};
        return std::nullopt;
    };
    struct stat info {};
    if (::fstatat(parent, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return refused(errno == ENOENT && notMade ? notMade : errno);
    if (S_ISLNK(info.st_mode)) return refused(0, TrashRefused::Cause::link);
    if (!S_ISDIR(info.st_mode)) return refused(0, TrashRefused::Cause::notAFolder);
    FileDescriptor folder(::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    // What was opened is what is checked: the name may have been swapped since it was looked at.
    if (!folder.isOpen() || ::fstat(folder.get(), &info) != 0)
        return errno == ELOOP ? refused(0, TrashRefused::Cause::link) : refused(errno);
    if (info.st_uid != ::geteuid()) return refused(0, TrashRefused::Cause::anotherUsers);
    if (info.st_mode & (S_IWGRP | S_IWOTH)) return refused(0, TrashRefused::Cause::openToOthers);
    return folder;
}

// The trash at a mount's top.
TrashFolder topTrash(const QByteArray& top, const Moving& file) {
    const FileDescriptor topFolder(::open(top.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!topFolder.isOpen()) failInside(errno, FileNames::decode(top), "open folder", file);
    const QByteArray uid = QByteArray::number(qulonglong(::geteuid()));
    const QByteArray prefix = top.endsWith('/') ? top : top + '/';

    // An administrator's shared trash: sticky, so nobody removes another's folder in it.
    struct stat shared {};
    if (::fstatat(topFolder.get(), ".Trash", &shared, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(shared.st_mode) &&
        (shared.st_mode & S_ISVTX)) {
        const FileDescriptor sharedFolder(::openat(topFolder.get(), ".Trash", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (sharedFolder.isOpen() && ::fstat(sharedFolder.get(), &shared) == 0 && (shared.st_mode & S_ISVTX)) {
            makePrivateFolder(sharedFolder.get(), uid);
            Refusal ignored;
            if (std::optional<FileDescriptor> own = ownPrivateFolder(sharedFolder.get(), uid, &ignored))
                return TrashFolder{FileNames::decode(prefix + ".Trash/" + uid), std::move(*own), top};
        }
    }

    const QByteArray name = ".Trash-" + uid;
    const int notMade = makePrivateFolder(topFolder.get(), name);
    const QString path = FileNames::decode(prefix + name);
    Refusal refusal;
    if (std::optional<FileDescriptor> own = ownPrivateFolder(topFolder.get(), name, &refusal, notMade))
        return TrashFolder{path, std::move(*own), top};
    refuse(refusal, path, file, true);
}

// The home trash: held to the same rules as a disk's own, since a link in its place or a folder
// others may write to would hand the file to someone else just the same.
TrashFolder homeTrash(const QString& path, const Moving& file) {
    const QString parent = QFileInfo(path).path();
    Support::Folders::create(parent);
    const FileDescriptor parentFolder(::open(FileNames::encode(parent).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parentFolder.isOpen()) throw IoError(errno, parent, QStringLiteral("open folder"));
    const QByteArray name = FileNames::encode(QFileInfo(path).fileName());
    const int notMade = makePrivateFolder(parentFolder.get(), name);
    Refusal refusal;
    if (std::optional<FileDescriptor> own = ownPrivateFolder(parentFolder.get(), name, &refusal, notMade))
        return TrashFolder{path, std::move(*own), {}};
    refuse(refusal, path, file, true);
}

// "files" or "info" in the trash, made private when missing; like the trash itself, only a real
// folder of this user's that nobody else may write to.
FileDescriptor trashPart(const TrashFolder& trash, const char* name, const Moving& file) {
    const int notMade = makePrivateFolder(trash.folder.get(), name);
    Refusal refusal;
    if (std::optional<FileDescriptor> part = ownPrivateFolder(trash.folder.get(), name, &refusal, notMade))
        return std::move(*part);
    refuse(refusal, trash.path + '/' + name, file, false);
}

QByteArray trashInfo(const QByteArray& originalPath) {
    return "[Trash Info]\nPath=" + originalPath.toPercentEncoding("/") + "\nDeletionDate=" +
           QDateTime::currentDateTime().toString("yyyy-MM-dd'T'HH:mm:ss").toLatin1() + "\n";
}

// Moves the file into the trash's "files" under the first name whose record could be made.
void moveInto(const TrashFolder& trash, const Moving& file, const QByteArray& record) {
    const FileDescriptor files = trashPart(trash, "files", file);
    const FileDescriptor info = trashPart(trash, "info", file);
    const QByteArray source = FileNames::encode(file.path);
    const QString fileName = QFileInfo(file.path).fileName();
    for (int n = 0; n < maximumNamesTried; ++n) {
        const QByteArray name = FileNames::encode(numberedName(fileName, n));
        const QByteArray infoName = name + ".trashinfo";
        const QString recordPath = trash.path + "/info/" + FileNames::decode(infoName);
        FileDescriptor infoFile(
            ::openat(info.get(), infoName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!infoFile.isOpen()) {
            if (errno == EEXIST) continue;
            failInside(errno, recordPath, "create", file);
        }
        int error = infoFile.writeAll(record);
        if (infoFile.close() != 0 && !error) error = errno;
        if (error) {
            ::unlinkat(info.get(), infoName.constData(), 0);
            failInside(error, recordPath, "write", file);
        }
        if (::renameat2(AT_FDCWD, source.constData(), files.get(), name.constData(), RENAME_NOREPLACE) == 0) return;
        error = errno;
        // A file system that cannot refuse to replace: the name is looked at first.
        if (error == EINVAL) {
            struct stat taken {};
            if (::fstatat(files.get(), name.constData(), &taken, AT_SYMLINK_NOFOLLOW) == 0) error = EEXIST;
            else if (::renameat(AT_FDCWD, source.constData(), files.get(), name.constData()) == 0) return;
            else error = errno;
        }
        ::unlinkat(info.get(), infoName.constData(), 0);
        if (error != EEXIST) throw IoError(error, file.path, QStringLiteral("move to the Trash"));
    }
    throw IoError(EEXIST, file.path, QStringLiteral("move to the Trash"));
}

} // namespace

FreedesktopTrash::FreedesktopTrash()
    : FreedesktopTrash(Support::Folders::dataHome() + "/Trash", systemMountTop) {}

FreedesktopTrash::FreedesktopTrash(QString homeTrash, MountTop mountTop)
    : homeTrash_(std::move(homeTrash)), mountTop_(std::move(mountTop)) {}

QString FreedesktopTrash::systemMountTop(const QString& path) {
    const QByteArray real = resolved(FileNames::encode(path));
    const std::optional<QByteArray> table =
        Support::SafeFile::read("/proc/self/mountinfo", maximumMountInfoBytes, Support::SafeFile::Links::follow);
    if (real.isEmpty() || !table) return {};
    QByteArray top;
    for (const QByteArray& line : table->split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 5) continue;
        const QByteArray mountPoint = unescapedMountPath(fields[4]);
        const bool holds = mountPoint == "/" || real == mountPoint || real.startsWith(mountPoint + '/');
        if (holds && mountPoint.size() > top.size()) top = mountPoint;
    }
    return FileNames::decode(top);
}

void FreedesktopTrash::moveToTrash(const QString& path) const {
    const Moving file{path, QFileInfo(path).path()};
    struct stat info {};
    if (::lstat(FileNames::encode(path).constData(), &info) != 0) throw IoError(errno, path, QStringLiteral("read"));
    const QByteArray folder = resolved(FileNames::encode(QFileInfo(path).absolutePath()));
    if (folder.isEmpty()) throw IoError(errno, path, QStringLiteral("read"));
    // Where the file comes back to: its folder's real place, whatever links led to it.
    const QByteArray original = (folder.endsWith('/') ? folder : folder + '/') + FileNames::encode(QFileInfo(path).fileName());

    const QString top = mountTop_(FileNames::decode(folder));
    if (top.isEmpty()) throw TrashRefused(TrashRefused::Cause::noDisk, {}, file.folder);
    // The home trash's disk is its folder's: a link in the trash's place leads nowhere that counts.
    const TrashFolder trash = top == mountTop_(existingAncestor(QFileInfo(homeTrash_).path()))
                                  ? homeTrash(homeTrash_, file)
                                  : topTrash(FileNames::encode(top), file);
    // On a mount's own trash the record names the file from the mount's top, so it still comes
    // back when the disk is mounted elsewhere.
    QByteArray recorded = original;
    if (!trash.top.isEmpty()) {
        const QByteArray prefix = trash.top.endsWith('/') ? trash.top : trash.top + '/';
        if (original.startsWith(prefix)) recorded = original.mid(prefix.size());
    }
    moveInto(trash, file, trashInfo(recorded));
}

namespace {

QString refusalText(TrashRefused::Cause cause, const QString& trash, const QString& folder) {
    switch (cause) {
    case TrashRefused::Cause::link: return QStringLiteral("the trash folder %1 is a symbolic link").arg(trash);
    case TrashRefused::Cause::notAFolder: return QStringLiteral("the trash folder %1 is not a folder").arg(trash);
    case TrashRefused::Cause::anotherUsers: return QStringLiteral("the trash folder %1 belongs to another user").arg(trash);
    case TrashRefused::Cause::openToOthers: return QStringLiteral("other users may write to the trash folder %1").arg(trash);
    case TrashRefused::Cause::noDisk: return QStringLiteral("the disk of %1 was not found").arg(folder);
    }
    return {};
}

} // namespace

TrashRefused::TrashRefused(Cause cause, const QString& trash, const QString& folder)
    : std::runtime_error(refusalText(cause, trash, folder).toStdString()), cause_(cause), trash_(trash), folder_(folder) {}

} // namespace BrindlecastApp::Pipeline
