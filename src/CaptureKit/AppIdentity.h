#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace CaptureKit {

// Maps a window's WM_CLASS class to the IDs of the desktop entries that claim it through
// StartupWMClass. Entries are read from the "applications" folders under the given data folders;
// an earlier folder comes first, as in the XDG lookup order.
class DesktopEntryIndex {
public:
    DesktopEntryIndex() = default;
    explicit DesktopEntryIndex(const QStringList& dataFolders);

    // $XDG_DATA_HOME, then $XDG_DATA_DIRS (default /usr/local/share:/usr/share).
    static QStringList standardDataFolders();

    // The index of the standard folders, read again only when the folder list or the
    // modification time of one of their applications folders has changed. Thread-safe.
    static std::shared_ptr<const DesktopEntryIndex> standard();

    // The entry that names the class's application: the first one claiming it.
    std::optional<QString> idForWindowClass(const QString& windowClass) const;
    // Every entry claiming the class, the first one first.
    QStringList idsForWindowClass(const QString& windowClass) const;

private:
    QHash<QString, QStringList> idsByWindowClass_;
};

// The identity properties one window carries.
struct WindowIdentityProperties {
    std::optional<QString> gtkApplicationID;  // _GTK_APPLICATION_ID
    std::optional<QString> kdeDesktopFile;    // _KDE_NET_WM_DESKTOP_FILE
    std::optional<QString> windowClass;       // the class half of WM_CLASS
};

// The application ID of a window: the GTK application ID, else the KDE desktop file name, else the
// desktop entry claiming its WM_CLASS class, else that class itself. Empty values count as
// absent; no identity at all gives nothing.
std::optional<QString> applicationID(const WindowIdentityProperties& properties, const DesktopEntryIndex& entries);

// Every application ID the window's own properties can give it: the GTK application ID, the KDE
// desktop file name, each desktop entry claiming its class, and the class itself. A block list
// is matched against all of them, so a launcher that claims a blocked application's class does
// not unblock its windows.
QStringList applicationIdentities(const WindowIdentityProperties& properties, const DesktopEntryIndex& entries);

} // namespace CaptureKit
