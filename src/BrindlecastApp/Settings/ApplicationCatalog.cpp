#include "BrindlecastApp/Settings/ApplicationCatalog.h"

#include "CaptureKit/AppIdentity.h"
#include "CaptureKit/DesktopEntry.h"

#include <QSet>

#include <algorithm>

namespace BrindlecastApp {

ApplicationCatalog ApplicationCatalog::load(const QStringList& dataFolders) {
    ApplicationCatalog catalog;
    for (const CaptureKit::DesktopEntryFile& file : CaptureKit::DesktopEntry::files(dataFolders)) {
        const auto keys = CaptureKit::DesktopEntry::mainGroup(file.path);
        // A hidden entry counts as deleted: it shadows any later one of its ID and stands for nothing.
        if (!keys || CaptureKit::DesktopEntry::isTrue(*keys, "Hidden")) continue;
        if (keys->value("Type", "Application") != "Application") continue;
        const QString name = keys->value("Name");
        catalog.installed_.push_back(
            {{file.id, name.isEmpty() ? file.id : name, keys->value("Icon")},
             !CaptureKit::DesktopEntry::isTrue(*keys, "NoDisplay")});
    }
    return catalog;
}

ApplicationCatalog ApplicationCatalog::loadStandard() { return load(CaptureKit::DesktopEntryIndex::standardDataFolders()); }

std::vector<ApplicationEntry> ApplicationCatalog::listed() const {
    std::vector<ApplicationEntry> entries;
    for (const Installed& installed : installed_)
        if (installed.shown) entries.push_back(installed.entry);
    std::stable_sort(entries.begin(), entries.end(), [](const ApplicationEntry& a, const ApplicationEntry& b) {
        const int byName = a.name.compare(b.name, Qt::CaseInsensitive);
        return byName != 0 ? byName < 0 : a.id < b.id;
    });
    return entries;
}

std::optional<ApplicationEntry> ApplicationCatalog::entry(const QString& id) const {
    for (const Installed& installed : installed_)
        if (installed.entry.id == id) return installed.entry;
    return std::nullopt;
}

std::vector<ApplicationEntry> ApplicationCatalog::pickable(const std::vector<CaptureKit::WindowInfo>& windows) const {
    std::vector<ApplicationEntry> entries = listed();
    QSet<QString> ids;
    for (const ApplicationEntry& entry : entries) ids.insert(entry.id);
    for (const CaptureKit::WindowInfo& window : windows) {
        if (!window.isOnScreen || !window.isOrdinary || !window.bundleID || window.bundleID->isEmpty()) continue;
        if (ids.contains(*window.bundleID)) continue;
        ids.insert(*window.bundleID);
        entries.push_back(describe(*window.bundleID));
    }
    return entries;
}

ApplicationEntry ApplicationCatalog::describe(const QString& id) const {
    if (std::optional<ApplicationEntry> found = entry(id)) return *found;
    return {id, id, QString()};
}

} // namespace BrindlecastApp
