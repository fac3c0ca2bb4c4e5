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

QString systemText(int errorNumber) { return QString::fromLocal8Bit(std::strerror(errorNumber)); }

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

// What the trash writes and where: the open folders and how Path= names the file.
struct TrashFolder {
    QString path;
    FileDescriptor folder;
    // The mount top that Path= is relative to; empty for the home trash, whose records hold
    // absolute paths.
    QByteArray top;
};

// Opens the folder `name` in `parent` when it is a real folder (no link) of this user's that no
// one else may write to; otherwise nothing, and `reason` says why.
std::optional<FileDescriptor> ownPrivateFolder(int parent, const QByteArray& name, const QString& shownPath,
                                               QString* reason) {
    struct stat info {};
    if (::fstatat(parent, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        *reason = QString("%1: %2").arg(shownPath, systemText(errno));
        return std::nullopt;
    }
    if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode)) {
        *reason = QString("the trash folder %1 %2").arg(shownPath, S_ISLNK(info.st_mode) ? "is a symbolic link" : "is not a folder");
        return std::nullopt;
    }
    FileDescriptor folder(::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    // What was opened is what is checked: the name may have been swapped since it was looked at.
    if (!folder.isOpen() || ::fstat(folder.get(), &info) != 0) {
        *reason = QString("%1: %2").arg(shownPath, systemText(errno));
        return std::nullopt;
    }
    if (info.st_uid != ::geteuid()) {
        *reason = QString("the trash folder %1 belongs to another user").arg(shownPath);
        return std::nullopt;
    }
    if (info.st_mode & (S_IWGRP | S_IWOTH)) {
        *reason = QString("other users may write to the trash folder %1").arg(shownPath);
        return std::nullopt;
    }
    return folder;
}

// The trash at a mount's top, or nothing with the reason.
std::optional<TrashFolder> topTrash(const QByteArray& top, QString* reason) {
    const FileDescriptor topFolder(::open(top.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!topFolder.isOpen()) {
        *reason = QString("%1: %2").arg(FileNames::decode(top), systemText(errno));
        return std::nullopt;
    }
    const QByteArray uid = QByteArray::number(qulonglong(::geteuid()));
    const QByteArray prefix = top.endsWith('/') ? top : top + '/';

    // An administrator's shared trash: sticky, so nobody removes another's folder in it.
    struct stat shared {};
    if (::fstatat(topFolder.get(), ".Trash", &shared, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(shared.st_mode) &&
        (shared.st_mode & S_ISVTX)) {
        const FileDescriptor sharedFolder(::openat(topFolder.get(), ".Trash", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (sharedFolder.isOpen() && ::fstat(sharedFolder.get(), &shared) == 0 && (shared.st_mode & S_ISVTX)) {
            ::mkdirat(sharedFolder.get(), uid.constData(), 0700);
            const QByteArray path = prefix + ".Trash/" + uid;
            QString refused;
            if (std::optional<FileDescriptor> own = ownPrivateFolder(sharedFolder.get(), uid, FileNames::decode(path), &refused))
                return TrashFolder{FileNames::decode(path), std::move(*own), top};
        }
    }

    const QByteArray name = ".Trash-" + uid;
    ::mkdirat(topFolder.get(), name.constData(), 0700);
    const QByteArray path = prefix + name;
    if (std::optional<FileDescriptor> own = ownPrivateFolder(topFolder.get(), name, FileNames::decode(path), reason))
        return TrashFolder{FileNames::decode(path), std::move(*own), top};
    return std::nullopt;
}

// The home trash: held to the same rules as a disk's own, since a link in its place or a folder
// others may write to would hand the file to someone else just the same.
std::optional<TrashFolder> homeTrash(const QString& path, QString* reason) {
    const QString parent = QFileInfo(path).path();
    try {
        Support::Folders::create(parent);
    } catch (const Support::IoError& error) {
        *reason = QString("%1: %2").arg(error.path(), error.description());
        return std::nullopt;
    }
    const FileDescriptor parentFolder(::open(FileNames::encode(parent).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parentFolder.isOpen()) {
        *reason = QString("%1: %2").arg(parent, systemText(errno));
        return std::nullopt;
    }
    const QByteArray name = FileNames::encode(QFileInfo(path).fileName());
    ::mkdirat(parentFolder.get(), name.constData(), 0700);
    if (std::optional<FileDescriptor> own = ownPrivateFolder(parentFolder.get(), name, path, reason))
        return TrashFolder{path, std::move(*own), {}};
    return std::nullopt;
}

// "files" or "info" in the trash, made private when missing; like the trash itself, only a real
// folder of this user's that nobody else may write to.
std::optional<FileDescriptor> trashPart(const TrashFolder& trash, const char* name, QString* reason) {
    ::mkdirat(trash.folder.get(), name, 0700);
    return ownPrivateFolder(trash.folder.get(), name, trash.path + '/' + name, reason);
}

QByteArray trashInfo(const QByteArray& originalPath) {
    return "[Trash Info]\nPath=" + originalPath.toPercentEncoding("/") + "\nDeletionDate=" +
           QDateTime::currentDateTime().toString("yyyy-MM-dd'T'HH:mm:ss").toLatin1() + "\n";
}

// Moves `source` into the trash's "files" under the first name whose record could be made;
// nothing, or the reason it did not move.
std::optional<QString> moveInto(const TrashFolder& trash, const QByteArray& source, const QString& fileName,
                                const QByteArray& record) {
    QString reason;
    const std::optional<FileDescriptor> files = trashPart(trash, "files", &reason);
    const std::optional<FileDescriptor> info = files ? trashPart(trash, "info", &reason) : std::nullopt;
    if (!info) return reason;
    for (int n = 0; n < maximumNamesTried; ++n) {
        const QByteArray name = FileNames::encode(numberedName(fileName, n));
        const QByteArray infoName = name + ".trashinfo";
        FileDescriptor infoFile(
            ::openat(info->get(), infoName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!infoFile.isOpen()) {
            if (errno == EEXIST) continue;
            return QString("%1/info: %2").arg(trash.path, systemText(errno));
        }
        int error = infoFile.writeAll(record);
        if (infoFile.close() != 0 && !error) error = errno;
        if (!error) {
            if (::renameat2(AT_FDCWD, source.constData(), files->get(), name.constData(), RENAME_NOREPLACE) == 0)
                return std::nullopt;
            error = errno;
            // A file system that cannot refuse to replace: the name is looked at first.
            if (error == EINVAL) {
                struct stat taken {};
                if (::fstatat(files->get(), name.constData(), &taken, AT_SYMLINK_NOFOLLOW) == 0) error = EEXIST;
                else if (::renameat(AT_FDCWD, source.constData(), files->get(), name.constData()) == 0) return std::nullopt;
                else error = errno;
            }
        }
        ::unlinkat(info->get(), infoName.constData(), 0);
        if (error != EEXIST) return systemText(error);
    }
    return systemText(EEXIST);
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

bool FreedesktopTrash::moveToTrash(const QString& path, QString* error) const {
    const auto fail = [error](const QString& reason) {
        if (error) *error = reason;
        return false;
    };
    const QString fileName = QFileInfo(path).fileName();
    const QByteArray folder = resolved(FileNames::encode(QFileInfo(path).absolutePath()));
    struct stat info {};
    if (::lstat(FileNames::encode(path).constData(), &info) != 0) return fail(systemText(errno));
    if (folder.isEmpty()) return fail(systemText(errno));
    // Where the file comes back to: its folder's real place, whatever links led to it.
    const QByteArray original = (folder.endsWith('/') ? folder : folder + '/') + FileNames::encode(fileName);

    const QString top = mountTop_(FileNames::decode(folder));
    if (top.isEmpty()) return fail(QString("the disk of %1 was not found").arg(FileNames::decode(folder)));
    QString reason;
    // The home trash's disk is its folder's: a link in the trash's place leads nowhere that counts.
    std::optional<TrashFolder> trash = top == mountTop_(existingAncestor(QFileInfo(homeTrash_).path()))
                                           ? homeTrash(homeTrash_, &reason)
                                           : topTrash(FileNames::encode(top), &reason);
    if (!trash) return fail(reason);
    // On a mount's own trash the record names the file from the mount's top, so it still comes
    // back when the disk is mounted elsewhere.
    QByteArray recorded = original;
    if (!trash->top.isEmpty()) {
        const QByteArray prefix = trash->top.endsWith('/') ? trash->top : trash->top + '/';
        if (original.startsWith(prefix)) recorded = original.mid(prefix.size());
    }
    if (const std::optional<QString> failed = moveInto(*trash, FileNames::encode(path), fileName, trashInfo(recorded)))
        return fail(*failed);
    return true;
}

} // namespace BrindlecastApp::Pipeline
