#pragma once

#include <QString>

#include <functional>
#include <stdexcept>

namespace BrindlecastApp::Pipeline {

// The freedesktop.org Trash, used only where no other user can reach what it holds. A file on
// the home folder's mount goes to "$XDG_DATA_HOME/Trash". A file on another mount goes to the
// trash at that mount's top: "$top/.Trash/$uid" when "$top/.Trash" is a sticky folder (no link),
// else "$top/.Trash-$uid", made with mode 0700 when missing. The home trash or the disk's, and
// the "files" and "info" in it, must each be a real folder (no link) of this user's that nobody
// else may write to; a planted one is never used, and the file then stays where it is. Its
// record "info/<name>.trashinfo" is made first, never over another; the file then moves into
// "files/<name>" under the same name, never over another either.
//
// The trash is always on the file's own disk, so a failure of that disk (read-only, full, an
// error) is told by the folder the file stays in; the trash's own folders are named only in the
// log's text of the failure.
class FreedesktopTrash {
public:
    // Where the mount holding an existing path begins: "/", "/media/ada/USB".
    using MountTop = std::function<QString(const QString& path)>;

    // The home trash of the environment and the mounts /proc/self/mountinfo lists.
    FreedesktopTrash();
    // Another home trash and another idea of where mounts begin, for tests.
    FreedesktopTrash(QString homeTrash, MountTop mountTop);

    // Moves the file (or link) at `path` into the trash. Throws Support::IoError (the system's
    // failure, told by the folder it stays in or, for a trash that could not be made, by the
    // folder it was to be made in) or TrashRefused when it stays where it is.
    void moveToTrash(const QString& path) const;

    // The mount top from /proc/self/mountinfo for an existing path, byte for byte; empty when
    // the path cannot be resolved.
    static QString systemMountTop(const QString& path);

private:
    QString homeTrash_;
    MountTop mountTop_;
};

// A trash that is there but that is not this user's own private folder: nothing is put into it.
class TrashRefused : public std::runtime_error {
public:
    enum class Cause {
        link,         // the trash, or a folder in it, is a symbolic link
        notAFolder,   // something else holds its name
        anotherUsers, // it belongs to another user
        openToOthers, // other users may write to it
        noDisk,       // the disk holding the file was not found among the mounts
    };

    // `trash` is the refused folder (empty for noDisk), `folder` the one the file stays in.
    TrashRefused(Cause cause, const QString& trash, const QString& folder);

    Cause cause() const { return cause_; }
    const QString& trash() const { return trash_; }
    const QString& folder() const { return folder_; }

private:
    Cause cause_;
    QString trash_;
    QString folder_;
};

} // namespace BrindlecastApp::Pipeline
