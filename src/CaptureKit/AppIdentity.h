#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace CaptureKit {

// The identity properties one window carries, and the program its process runs.
struct WindowIdentityProperties {
    std::optional<QString> gtkApplicationID;  // _GTK_APPLICATION_ID
    std::optional<QString> kdeDesktopFile;    // _KDE_NET_WM_DESKTOP_FILE
    std::optional<QString> windowClass;       // the class half of WM_CLASS
    std::optional<QString> windowInstance = std::nullopt; // the instance half of WM_CLASS
    // The executable of the window's process (_NET_WM_PID on this machine), links resolved;
    // absent when the process cannot be looked at.
    std::optional<QString> program = std::nullopt;
};

// The installed desktop entries (read from the "applications" folders under the given data
// folders; an earlier folder comes first, as in the XDG lookup order), indexed by what ties a
// window to them:
// - StartupWMClass, matched against both halves of WM_CLASS: launchers write the instance name
//   ("chromium", "keepassxc") as often as the class ("Chromium", "KeePassXC");
// - names, without regard to case: StartupWMClass, the entry's ID and its last dotted part
//   ("org.xfce.mousepad": "mousepad") and the file name of the program it starts, against the
//   WM_CLASS halves and the file name of the window's program;
// - the program itself, links resolved, against the window's process's executable.
class DesktopEntryIndex {
public:
    DesktopEntryIndex() = default;
    explicit DesktopEntryIndex(const QStringList& dataFolders);

    // $XDG_DATA_HOME, then $XDG_DATA_DIRS (default /usr/local/share:/usr/share).
    static QStringList standardDataFolders();

    // The index of the standard folders, read again only when the folder list or the
    // modification time of one of their applications folders has changed. Thread-safe.
    static std::shared_ptr<const DesktopEntryIndex> standard();

    // The entry that names the class's application: the first one whose StartupWMClass is exactly it.
    std::optional<QString> idForWindowClass(const QString& windowClass) const;
    // Every entry whose StartupWMClass is exactly the class, the first one first.
    QStringList idsForWindowClass(const QString& windowClass) const;

    // Every entry tied to the window by any of the ways above, the surest first: StartupWMClass
    // exactly (class, then instance), then by name, then by program.
    QStringList idsForWindow(const WindowIdentityProperties& properties) const;

private:
    void add(QHash<QString, QStringList>& index, const QString& key, const QString& id);

    QHash<QString, QStringList> idsByWindowClass_; // StartupWMClass as written
    QHash<QString, QStringList> idsByName_;        // folded names
    QHash<QString, QStringList> idsByProgram_;     // canonical paths of the programs
};

// The application ID of a window: the GTK application ID, else the KDE desktop file name, else the
// surest desktop entry tied to the window, else its WM_CLASS class. Empty values count as
// absent; no identity at all gives nothing.
std::optional<QString> applicationID(const WindowIdentityProperties& properties, const DesktopEntryIndex& entries);

// Every application ID the window's own properties can give it: the GTK application ID, the KDE
// desktop file name, each desktop entry tied to it, and both halves of WM_CLASS. A block list
// is matched against all of them, so a launcher that claims a blocked application's class does
// not unblock its windows.
QStringList applicationIdentities(const WindowIdentityProperties& properties, const DesktopEntryIndex& entries);

// Whether the window can be told from a blocked application's at all: it names its application
// (GTK or KDE), an installed entry is tied to it, or its process's program is known. A window
// with nothing but a WM_CLASS no entry knows, whose process cannot be looked at, could be anyone's.
bool isIdentified(const WindowIdentityProperties& properties, const DesktopEntryIndex& entries);

// The executable process `pid` runs, links resolved; nothing when it cannot be read (gone,
// another user's, another machine's numbering).
std::optional<QString> programOfProcess(std::uint32_t pid);

} // namespace CaptureKit
