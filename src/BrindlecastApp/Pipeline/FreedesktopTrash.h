#pragma once

#include <QString>

#include <functional>

namespace BrindlecastApp::Pipeline {

// The freedesktop.org Trash, used only where no other user can reach what it holds. A file on
// the home folder's mount goes to "$XDG_DATA_HOME/Trash". A file on another mount goes to the
// trash at that mount's top: "$top/.Trash/$uid" when "$top/.Trash" is a sticky folder (no link),
// else "$top/.Trash-$uid", made with mode 0700 when missing. The home trash or the disk's, and
// the "files" and "info" in it, must each be a real folder (no link) of this user's that nobody
// else may write to; a planted one is never used, and the file then stays where it is. Its
// record "info/<name>.trashinfo" is made first, never over another; the file then moves into
// "files/<name>" under the same name, never over another either.
class FreedesktopTrash {
public:
    // Where the mount holding an existing path begins: "/", "/media/ada/USB".
    using MountTop = std::function<QString(const QString& path)>;

    // The home trash of the environment and the mounts /proc/self/mountinfo lists.
    FreedesktopTrash();
    // Another home trash and another idea of where mounts begin, for tests.
    FreedesktopTrash(QString homeTrash, MountTop mountTop);

    // Moves the file (or link) at `path` into the trash; false, with the reason in `error`, when
    // it stays where it is.
    bool moveToTrash(const QString& path, QString* error) const;

    // The mount top from /proc/self/mountinfo for an existing path, byte for byte; empty when
    // the path cannot be resolved.
    static QString systemMountTop(const QString& path);

private:
    QString homeTrash_;
    MountTop mountTop_;
};

} // namespace BrindlecastApp::Pipeline
