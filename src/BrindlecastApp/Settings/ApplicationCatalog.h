#pragma once

#include "CaptureKit/WindowInfo.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace BrindlecastApp {

// An application as the settings name it: its ID (a desktop-file ID, or what a window goes by),
// the name to show and the icon name of its desktop entry (ApplicationIcons reads the icon).
struct ApplicationEntry {
    QString id;
    QString name;
    QString iconName; // a theme icon name or an absolute path; empty when the entry names none
    friend bool operator==(const ApplicationEntry&, const ApplicationEntry&) = default;
};

// The applications installed as desktop entries in the XDG data folders, read once.
class ApplicationCatalog {
public:
    ApplicationCatalog() = default;
    // Reads the "applications" folders of `dataFolders` (earlier folders shadow later ones).
    static ApplicationCatalog load(const QStringList& dataFolders);
    // $XDG_DATA_HOME, then $XDG_DATA_DIRS.
    static ApplicationCatalog loadStandard();

    // The entries a user may pick: applications not marked NoDisplay or Hidden, by name.
    std::vector<ApplicationEntry> listed() const;
    // The entry with that ID, shown or not; nothing for a hidden or unknown ID.
    std::optional<ApplicationEntry> entry(const QString& id) const;

    // The picker's list: the listed entries and, after them, the applications with ordinary
    // windows on screen that no listed entry stands for (named by their entry when they have one,
    // else by their ID). No ID appears twice.
    std::vector<ApplicationEntry> pickable(const std::vector<CaptureKit::WindowInfo>& windows) const;

    // How a blocked application is shown: its entry's name and icon, or the ID itself and the
    // generic application icon when no entry has that ID.
    ApplicationEntry describe(const QString& id) const;

private:
    struct Installed {
        ApplicationEntry entry;
        bool shown = true;
    };
    std::vector<Installed> installed_;
};

} // namespace BrindlecastApp
