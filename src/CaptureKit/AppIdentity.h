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
    // The program of the window's process (the one the X server names, see programOfProcess);
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
// An interpreter or launcher is no program of an application's own (see isInterpreterOrLauncher):
// it ties nothing, on either side.
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

    // Every entry whose names (as above) are one of the forms of `names` (see nameForms): the
    // applications a window going by those names might be, when nothing surer tells.
    QStringList idsResembling(const QStringList& names) const;

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
// not unblock its windows. When its process cannot be looked at, the entries its names resemble
// are added (idsResembling): it may be any of them.
QStringList applicationIdentities(const WindowIdentityProperties& properties, const DesktopEntryIndex& entries);

// Whether the window's process was looked at: its program is known, and it is not a relay that
// stands for clients on other machines. A window whose process is unknown is told by its names
// alone.
bool isProcessKnown(const WindowIdentityProperties& properties);

// The program process `pid` runs: its executable, links resolved; for a process whose executable
// may not be read (another user's), the program its command line names (found on PATH when
// bare), else its name. Nothing when the process cannot be looked at (gone, hidden).
std::optional<QString> programOfProcess(std::uint32_t pid);

// An interpreter, shell or launcher (python3, sh, env, java, flatpak-spawn, bwrap and the like),
// by the program's file name or that of the file its links lead to: what it runs is not said by
// its own name, so it is never an application's identity by itself.
bool isInterpreterOrLauncher(const QString& program);

// A program that relays the X clients of other machines (ssh's X forwarding, xpra): the windows
// it owns could be anyone's.
bool isRelay(const QString& program);

// The forms a name is compared in, case folded: itself, its last dotted part
// ("org.keepassxc.KeePassXC": "keepassxc"), and when `withWords`, each word of it and that word's
// last dotted part ("chromium (/tmp/profile)": "chromium", "tmp", "profile").
QStringList nameForms(const QString& name, bool withWords);

// What refuses a window whose IDs tell nothing and whose process cannot be looked at.
inline const QString unidentifiedWindow = QStringLiteral("unidentified window");

// The blocked IDs a window with these identities counts as. When its process is known, the
// identities on the block list. When it is not, also the blocked IDs one of its names resembles
// (nameForms: the blocked ID itself or its last dotted part), and when it goes by no name at
// all, `unidentifiedWindow` while anything is blocked. Empty: the window is not blocked.
QStringList blockedIdentities(const QStringList& identities, bool processKnown, const QStringList& blockedIDs);

} // namespace CaptureKit
